<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>About</name>
    <message>
        <source>Release date:</source>
        <translation>Veröffentlicht am:</translation>
    </message>
    <message>
        <source>Free edition</source>
        <translation>Freie Ausgabe</translation>
    </message>
    <message>
        <source>Author: </source>
        <translation>Autor: </translation>
    </message>
    <message>
        <source>Web site:</source>
        <translation>Webseite:</translation>
    </message>
    <message>
        <source>manual:</source>
        <translation>Handbuch:</translation>
    </message>
    <message>
        <source>here</source>
        <translation>hier</translation>
    </message>
    <message>
        <source>press F1 in the main window</source>
        <translation>F1 im Hauptfenster drücken</translation>
    </message>
    <message>
        <source>Acknowledgements:</source>
        <translation>Danksagungen:</translation>
    </message>
    <message>
        <source>for webcam support</source>
        <translation>für die Webcam-Unterstützung</translation>
    </message>
    <message>
        <source>Log of this party:</source>
        <translation>Protokoll dieser Party:</translation>
    </message>
    <message>
        <source>Party mode:</source>
        <translation>Party-Modus:</translation>
    </message>
    <message>
        <source>choose</source>
        <translation>wählen</translation>
    </message>
    <message>
        <source>press Ctrl+M in the main window</source>
        <translation>Ctrl+M im Hauptfenster drücken</translation>
    </message>
</context>
<context>
    <name>AboutDialog</name>
    <message>
        <source>About Vimo</source>
        <translation>Über Vimo</translation>
    </message>
    <message>
        <source>Opens the web site of Talvoren in your default web browser</source>
        <translation>Öffnet die Webseite von Talvoren in Ihrem Standard-Webbrowser</translation>
    </message>
    <message>
        <source>Opens a new e-mail to Talvoren in your default e-mail program</source>
        <translation>Öffnet eine neue E-Mail an Talvoren in Ihrem Standard-E-Mail-Programm</translation>
    </message>
    <message>
        <source>Opens your local Vimo manual with your default text editor</source>
        <translation>Öffnet Ihr lokales Vimo-Handbuch mit Ihrem Standard-Texteditor</translation>
    </message>
    <message>
        <source>Quit Vimo</source>
        <translation>Vimo beenden</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>AudioEngine</name>
    <message>
        <source>The audio device could not be opened: %1</source>
        <translation>Das Audiogerät konnte nicht geöffnet werden: %1</translation>
    </message>
    <message>
        <source>An incorrect version of SDL2 was loaded: %1.%2.%3. Supported SDL2 versions are %4.%5.%6 and newer.</source>
        <translation>Eine falsche Version von SDL2 wurde geladen: %1.%2.%3. Unterstützt werden die SDL2-Versionen ab %4.%5.%6.</translation>
    </message>
    <message>
        <source>The loaded libmpg123 cannot decode MPEG layer 3 audio to 16-bit samples.</source>
        <translation>Die geladene libmpg123 kann MPEG-Layer-3-Audio nicht in 16-Bit-Samples dekodieren.</translation>
    </message>
    <message>
        <source>The MP3 decoder could not be started: %1</source>
        <translation>Der MP3-Decoder konnte nicht gestartet werden: %1</translation>
    </message>
    <message>
        <source>The audio system could not be started: %1</source>
        <translation>Das Audiosystem konnte nicht gestartet werden: %1</translation>
    </message>
    <message>
        <source>The sound device was removed. The song that was playing ends; the default sound device is opened again.</source>
        <translation>Das Audiogerät wurde entfernt. Das laufende Lied endet; das Standard-Audiogerät wird wieder geöffnet.</translation>
    </message>
    <message>
        <source>The default sound device was opened again.</source>
        <translation>Das Standard-Audiogerät wurde wieder geöffnet.</translation>
    </message>
    <message>
        <source>Vimo keeps trying to open the default sound device.</source>
        <translation>Vimo versucht weiter, das Standard-Audiogerät zu öffnen.</translation>
    </message>
</context>
<context>
    <name>CommandLine</name>
    <message>
        <source>Vimo, the party jukebox: guests wish songs from a big grid.</source>
        <translation>Vimo, die Party-Jukebox: Gäste wünschen sich Lieder aus einem großen Raster.</translation>
    </message>
    <message>
        <source>paths</source>
        <translation>Pfade</translation>
    </message>
    <message>
        <source>Folders and MP3 files to add. When Vimo runs already, its window adds them.</source>
        <translation>Ordner und MP3-Dateien zum Hinzufügen. Läuft Vimo bereits, fügt sein Fenster sie hinzu.</translation>
    </message>
    <message>
        <source>[folders or songs...]</source>
        <translation>[Ordner oder Lieder...]</translation>
    </message>
    <message>
        <source>no such folder or file: %1</source>
        <translation>Ordner oder Datei nicht gefunden: %1</translation>
    </message>
</context>
<context>
    <name>ConfigDialog</name>
    <message>
        <source>Party mode</source>
        <translation>Party-Modus</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Home &quot;forever alone&quot; mode: Kiosk mode OFF, Photos for wishes OFF, Photos for stop-motion OFF, Adding of songs ON</source>
        <translation>Heimmodus „für immer allein“: Kioskmodus AUS, Fotos für Wünsche AUS, Fotos für Stop-Motion AUS, Hinzufügen von Liedern AN</translation>
    </message>
    <message>
        <source>Default &quot;unlocked party&quot; mode: Kiosk mode OFF, Photos for wishes ON, Photos for stop-motion ON, Adding of songs ON</source>
        <translation>Standardmodus „offene Party“: Kioskmodus AUS, Fotos für Wünsche AN, Fotos für Stop-Motion AN, Hinzufügen von Liedern AN</translation>
    </message>
    <message>
        <source>Party &quot;no camera&quot; mode: Kiosk mode ON, Photos for wishes OFF, Photos for stop-motion OFF</source>
        <translation>Party-Modus „ohne Kamera“: Kioskmodus AN, Fotos für Wünsche AUS, Fotos für Stop-Motion AUS</translation>
    </message>
    <message>
        <source>Party &quot;no stop-motion&quot; mode: Kiosk mode ON, Photos for wishes ON, Photos for stop-motion OFF</source>
        <translation>Party-Modus „ohne Stop-Motion“: Kioskmodus AN, Fotos für Wünsche AN, Fotos für Stop-Motion AUS</translation>
    </message>
    <message>
        <source>Party &quot;no wish-photos&quot; mode: Kiosk mode ON, Photos for wishes OFF, Photos for stop-motion ON</source>
        <translation>Party-Modus „ohne Wunschfotos“: Kioskmodus AN, Fotos für Wünsche AUS, Fotos für Stop-Motion AN</translation>
    </message>
    <message>
        <source>Party &quot;Deluxe&quot; mode: Kiosk mode ON, Photos for wishes ON, Photos for stop-motion ON</source>
        <translation>Party-Modus „Deluxe“: Kioskmodus AN, Fotos für Wünsche AN, Fotos für Stop-Motion AN</translation>
    </message>
    <message>
        <source>New host PIN:</source>
        <translation>Neue Gastgeber-PIN:</translation>
    </message>
    <message>
        <source>Repeat the PIN:</source>
        <translation>PIN wiederholen:</translation>
    </message>
    <message>
        <source>The two PINs differ: please type the same PIN in both fields, or choose a mode without kiosk.</source>
        <translation>Die beiden PINs sind verschieden: Bitte geben Sie in beide Felder dieselbe PIN ein oder wählen Sie einen Modus ohne Kiosk.</translation>
    </message>
    <message>
        <source>Kiosk mode needs a host PIN of at least four characters, or choose a mode without kiosk.</source>
        <translation>Der Kioskmodus braucht eine Gastgeber-PIN mit mindestens vier Zeichen; oder wählen Sie einen Modus ohne Kiosk.</translation>
    </message>
</context>
<context>
    <name>CoverArt</name>
    <message>
        <source>it is too large.</source>
        <translation>es ist zu groß.</translation>
    </message>
    <message>
        <source>it cannot be read.</source>
        <translation>es lässt sich nicht lesen.</translation>
    </message>
    <message>
        <source>Skipped the cover picture of %1: %2</source>
        <translation>Das Coverbild von %1 wurde übersprungen: %2</translation>
    </message>
</context>
<context>
    <name>Floater</name>
    <message>
        <source>Failed to open floater showing file</source>
        <translation>Das Fotofenster konnte diese Datei nicht öffnen:</translation>
    </message>
    <message>
        <source>Photo of this song&apos;s guest</source>
        <translation>Foto des Gastes zu diesem Lied</translation>
    </message>
    <message>
        <source>Your photo: a comment for it?</source>
        <translation>Ihr Foto: ein Kommentar dazu?</translation>
    </message>
    <message>
        <source>Photo of the guest who wished this song</source>
        <translation>Foto des Gastes, der sich dieses Lied gewünscht hat</translation>
    </message>
    <message>
        <source>The guest&apos;s comment</source>
        <translation>Kommentar des Gastes</translation>
    </message>
    <message>
        <source>Your comment on the photo</source>
        <translation>Ihr Kommentar zum Foto</translation>
    </message>
</context>
<context>
    <name>FloaterDialog</name>
    <message>
        <source>Dialog</source>
        <translation>Dialog</translation>
    </message>
    <message>
        <source>TextLabel</source>
        <translation>Foto</translation>
    </message>
    <message>
        <source>Please enter a comment now:</source>
        <translation>Bitte jetzt einen Kommentar eingeben:</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>KioskGuard</name>
    <message>
        <source>A new host PIN was set.</source>
        <translation>Eine neue Gastgeber-PIN wurde festgelegt.</translation>
    </message>
    <message>
        <source>A wrong host PIN was entered.</source>
        <translation>Eine falsche Gastgeber-PIN wurde eingegeben.</translation>
    </message>
    <message>
        <source>Five wrong host PINs within a minute: the PIN prompt is locked for a minute.</source>
        <translation>Fünf falsche Gastgeber-PINs innerhalb einer Minute: Die PIN-Abfrage ist für eine Minute gesperrt.</translation>
    </message>
</context>
<context>
    <name>KioskScreen</name>
    <message>
        <source>Kiosk mode: the window was minimised and takes the screen back.</source>
        <translation>Kioskmodus: Das Fenster wurde minimiert und holt sich den Bildschirm zurück.</translation>
    </message>
    <message>
        <source>Kiosk mode: another program covered the window, which takes the screen back.</source>
        <translation>Kioskmodus: Ein anderes Programm hat das Fenster verdeckt; es holt sich den Bildschirm zurück.</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Vimo quick setup</source>
        <translation>Vimo Schnelleinrichtung</translation>
    </message>
    <message>
        <source>Do you want to use a webcam?</source>
        <translation>Möchten Sie eine Webcam verwenden?</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>Ja</translation>
    </message>
    <message>
        <source>No</source>
        <translation>Nein</translation>
    </message>
    <message>
        <source>Vimo</source>
        <translation>Vimo</translation>
    </message>
    <message>
        <source>About Vimo</source>
        <translation>Über Vimo</translation>
    </message>
    <message>
        <source>Add all MP3 files from a directory and its subdirectories</source>
        <translation>Alle MP3-Dateien eines Ordners und seiner Unterordner hinzufügen</translation>
    </message>
    <message>
        <source>Add
Songs</source>
        <translation>Lieder
hinzufügen</translation>
    </message>
    <message>
        <source>Type to search</source>
        <translation>Zum Suchen tippen</translation>
    </message>
    <message>
        <source>Song history</source>
        <translation>Gespielte Lieder</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>manual_free_edition.html</source>
        <translation>manual_free_edition.html</translation>
    </message>
    <message>
        <source>critical error</source>
        <translation>kritischer Fehler</translation>
    </message>
    <message>
        <source>The sound back end could not be initialized.</source>
        <translation>Die Tonausgabe konnte nicht gestartet werden.</translation>
    </message>
    <message>
        <source>Please start Vimo again after you ensured that
your sound device is correctly set up.</source>
        <translation>Bitte starten Sie Vimo erneut, nachdem Sie sichergestellt haben,
dass Ihr Audiogerät richtig eingerichtet ist.</translation>
    </message>
    <message>
        <source>In many cases, all you need to do is plugging in
and/or turning on your speakers.</source>
        <translation>Oft genügt es, die Lautsprecher anzuschließen
und/oder einzuschalten.</translation>
    </message>
    <message>
        <source>Drag a folder or mp3 files here</source>
        <translation>Ziehen Sie einen Ordner oder MP3-Dateien hierher</translation>
    </message>
    <message>
        <source>F1 shows the manual</source>
        <translation>F1 zeigt das Handbuch</translation>
    </message>
    <message>
        <source>Add Songs</source>
        <translation>Lieder hinzufügen</translation>
    </message>
    <message>
        <source>Alt+A</source>
        <translation>Alt+A</translation>
    </message>
    <message>
        <source>Ctrl+F</source>
        <translation>Ctrl+F</translation>
    </message>
    <message>
        <source>Out of memory.</source>
        <translation>Nicht genügend Arbeitsspeicher.</translation>
    </message>
    <message>
        <source>Please select one folder containing MP3 files.</source>
        <translation>Bitte wählen Sie einen Ordner mit MP3-Dateien.</translation>
    </message>
    <message>
        <source>Please select one directory and press the &quot;ADD all MP3s&quot; button</source>
        <translation>Bitte wählen Sie einen Ordner und drücken Sie die Schaltfläche „ADD all MP3s“</translation>
    </message>
    <message>
        <source>Start of ADDING files</source>
        <translation>Beginn des HINZUFÜGENS von Dateien</translation>
    </message>
    <message>
        <source>Starting to add</source>
        <translation>Beginne mit dem Hinzufügen von</translation>
    </message>
    <message>
        <source>files to Vimo.</source>
        <translation>Dateien zu Vimo.</translation>
    </message>
    <message>
        <source>files are now available in Vimo.</source>
        <translation>Dateien sind jetzt in Vimo verfügbar.</translation>
    </message>
    <message>
        <source>Adding of files has been cancelled by the user.</source>
        <translation>Das Hinzufügen von Dateien wurde vom Benutzer abgebrochen.</translation>
    </message>
    <message>
        <source>Adding of files has finished.</source>
        <translation>Das Hinzufügen von Dateien ist abgeschlossen.</translation>
    </message>
    <message>
        <source>files are now available in Vimo (CANCEL).</source>
        <translation>Dateien sind jetzt in Vimo verfügbar (ABGEBROCHEN).</translation>
    </message>
    <message>
        <source>files were not imported because they are duplicates (same artist and same title).</source>
        <translation>Dateien wurden nicht übernommen, weil sie Duplikate sind (gleicher Interpret und gleicher Titel).</translation>
    </message>
    <message>
        <source>files were not imported because they have no artist and title ID3 tags (up to version 2.2 is supported) or are corrupt.</source>
        <translation>Dateien wurden nicht übernommen, weil ihnen die ID3-Tags für Interpret und Titel fehlen (bis Version 2.2 unterstützt) oder weil sie beschädigt sind.</translation>
    </message>
    <message>
        <source>All genres</source>
        <translation>Alle</translation>
    </message>
    <message>
        <source>The rest</source>
        <translation>Der Rest</translation>
    </message>
    <message>
        <source>Shows tracks of the genres</source>
        <translation>Zeigt die Lieder der Genres</translation>
    </message>
    <message>
        <source>and tracks without a genre</source>
        <translation>und die Lieder ohne Genre</translation>
    </message>
    <message>
        <source>Webcam was successfully initialized.</source>
        <translation>Die Webcam wurde erfolgreich gestartet.</translation>
    </message>
    <message>
        <source>Webcam initialization failed.</source>
        <translation>Die Webcam konnte nicht gestartet werden.</translation>
    </message>
    <message>
        <source>Genre</source>
        <translation>Genre</translation>
    </message>
    <message>
        <source>Year</source>
        <translation>Jahr</translation>
    </message>
    <message>
        <source>Album</source>
        <translation>Album</translation>
    </message>
    <message>
        <source>Track</source>
        <translation>Titelnummer</translation>
    </message>
    <message>
        <source>Length</source>
        <translation>Länge</translation>
    </message>
    <message>
        <source>Shows the version, the manual and the log of this party</source>
        <translation>Zeigt die Version, das Handbuch und das Protokoll dieser Party</translation>
    </message>
    <message>
        <source>Pauses the playing song or plays it on</source>
        <translation>Hält den laufenden Song an oder spielt ihn weiter</translation>
    </message>
    <message>
        <source>Queue</source>
        <translation>Warteschlange</translation>
    </message>
    <message>
        <source>The playing song and the wishes after it</source>
        <translation>Der laufende Song und die Wünsche danach</translation>
    </message>
    <message>
        <source>Songs</source>
        <translation>Songs</translation>
    </message>
    <message>
        <source>Arrow keys choose a song, Enter wishes it</source>
        <translation>Pfeiltasten wählen einen Song, Enter wünscht ihn</translation>
    </message>
    <message>
        <source>Shows only the songs of this genre in the grid</source>
        <translation>Zeigt im Raster nur die Songs dieses Genres</translation>
    </message>
    <message>
        <source>Ctrl+M</source>
        <translation>Ctrl+M</translation>
    </message>
    <message>
        <source>Host PIN</source>
        <translation>Gastgeber-PIN</translation>
    </message>
    <message>
        <source>Too many wrong PINs: please try again in a minute.</source>
        <translation>Zu viele falsche PINs: Bitte in einer Minute erneut versuchen.</translation>
    </message>
    <message>
        <source>Wrong PIN. Please enter the host PIN:</source>
        <translation>Falsche PIN. Bitte die Gastgeber-PIN eingeben:</translation>
    </message>
    <message>
        <source>This is for the host. Please enter the host PIN:</source>
        <translation>Das ist dem Gastgeber vorbehalten. Bitte die Gastgeber-PIN eingeben:</translation>
    </message>
    <message>
        <source>Kiosk mode needs a host PIN of at least four characters, typed twice alike: the party mode stays as it was.</source>
        <translation>Der Kioskmodus braucht eine Gastgeber-PIN aus mindestens vier Zeichen, zweimal gleich eingegeben: Der Party-Modus bleibt, wie er war.</translation>
    </message>
    <message>
        <source>Kiosk mode needs a host PIN: choose the mode again in the mode dialog (Ctrl+M).</source>
        <translation>Der Kioskmodus braucht eine Gastgeber-PIN: Bitte den Modus im Modusfenster erneut wählen (Ctrl+M).</translation>
    </message>
    <message>
        <source>Party mode: %1</source>
        <translation>Party-Modus: %1</translation>
    </message>
    <message>
        <source>Ctrl+N</source>
        <translation>Ctrl+N</translation>
    </message>
    <message>
        <source>Phone wishes</source>
        <translation>Wünsche vom Handy</translation>
    </message>
    <message>
        <source>Ctrl+P</source>
        <translation>Ctrl+P</translation>
    </message>
    <message>
        <source>folders could not be read; their songs were not added.</source>
        <translation>Ordner konnten nicht gelesen werden; ihre Songs wurden nicht hinzugefügt.</translation>
    </message>
    <message>
        <source>ADD all %1 songs in
&quot;%2&quot;</source>
        <translation>Alle %1 Songs HINZUFÜGEN aus
&quot;%2&quot;</translation>
    </message>
</context>
<context>
    <name>NoticeBanner</name>
    <message>
        <source>Notice</source>
        <translation>Hinweis</translation>
    </message>
</context>
<context>
    <name>NoticeBoard</name>
    <message>
        <source>%L1 songs added — %L2 duplicates, %L3 unreadable (see the log)</source>
        <translation>%L1 Songs hinzugefügt — %L2 doppelt, %L3 unlesbar (siehe Protokoll)</translation>
    </message>
    <message>
        <source>No webcam found: photos are off</source>
        <translation>Keine Webcam gefunden: keine Fotos</translation>
    </message>
    <message>
        <source>&quot;%1 – %2&quot; could not be played and is skipped (see the log)</source>
        <translation>„%1 – %2“ konnte nicht abgespielt werden und wird übersprungen (siehe Protokoll)</translation>
    </message>
    <message>
        <source>The sound device was lost: Vimo waits for it to come back</source>
        <translation>Das Audiogerät ist weg: Vimo wartet, bis es wieder da ist</translation>
    </message>
    <message>
        <source>The sound device is back</source>
        <translation>Das Audiogerät ist wieder da</translation>
    </message>
    <message>
        <source>The disk is full: photos, playlist and log can no longer be saved</source>
        <translation>Die Festplatte ist voll: Fotos, Playlist und Protokoll können nicht mehr gespeichert werden</translation>
    </message>
    <message>
        <source>%L1 songs added — %L2 duplicates, %L3 unreadable, %L4 folders that cannot be read (see the log)</source>
        <translation>%L1 Songs hinzugefügt — %L2 doppelt, %L3 unlesbar, %L4 Ordner nicht lesbar (siehe Protokoll)</translation>
    </message>
    <message>
        <source>A photo could not be saved: %1</source>
        <translation>Ein Foto konnte nicht gespeichert werden: %1</translation>
    </message>
    <message>
        <source>Photos, playlist or log cannot be saved: %1</source>
        <translation>Fotos, Playlist oder Protokoll können nicht gespeichert werden: %1</translation>
    </message>
</context>
<context>
    <name>NowPlayingRow</name>
    <message>
        <source>Kiosk mode: the desktop&apos;s volume change was refused.</source>
        <translation>Kiosk-Modus: Die Lautstärkeänderung vom Desktop wurde abgelehnt.</translation>
    </message>
    <message>
        <source>Volume %1 %</source>
        <translation>Lautstärke %1 %</translation>
    </message>
    <message>
        <source>Paused</source>
        <translation>Pausiert</translation>
    </message>
</context>
<context>
    <name>PartyAlbum</name>
    <message>
        <source>No photo</source>
        <translation>Kein Foto</translation>
    </message>
    <message>
        <source>random pick</source>
        <translation>Zufallswahl</translation>
    </message>
    <message>
        <source>Vimo party album</source>
        <translation>Vimo-Partyalbum</translation>
    </message>
    <message>
        <source>Portraits: %1</source>
        <translation>Porträts: %1</translation>
    </message>
    <message>
        <source>No portraits yet: every song the queue takes on is photographed and appears here.</source>
        <translation>Noch keine Porträts: Jedes Lied, das die Warteschlange aufnimmt, wird fotografiert und erscheint hier.</translation>
    </message>
    <message>
        <source>The party album %1 could not be written.</source>
        <translation>Das Partyalbum %1 konnte nicht geschrieben werden.</translation>
    </message>
</context>
<context>
    <name>PhoneDesk</name>
    <message>
        <source>Phone wishes could not start on port %1 or the %2 ports after it: %3</source>
        <translation>Wünsche vom Handy konnten weder auf Port %1 noch auf den %2 Ports danach starten: %3</translation>
    </message>
    <message>
        <source>Phone wishes started at %1, but this computer has no network address: no phone can reach it.</source>
        <translation>Wünsche vom Handy gestartet unter %1, aber dieser Computer hat keine Netzwerkadresse: kein Handy erreicht ihn.</translation>
    </message>
    <message>
        <source>Phone wishes started at %1</source>
        <translation>Wünsche vom Handy gestartet unter %1</translation>
    </message>
    <message>
        <source>Phone wishes stopped.</source>
        <translation>Wünsche vom Handy beendet.</translation>
    </message>
    <message>
        <source>This song is not in the library.</source>
        <translation>Dieses Lied ist nicht in der Bibliothek.</translation>
    </message>
    <message>
        <source>The queue is full, try again in %1.</source>
        <translation>Die Warteschlange ist voll, versuch es in %1 wieder.</translation>
    </message>
    <message>
        <source>This song is in the queue already.</source>
        <translation>Dieses Lied ist schon in der Warteschlange.</translation>
    </message>
    <message>
        <source>This song is playing right now.</source>
        <translation>Dieses Lied läuft gerade.</translation>
    </message>
    <message>
        <source>This song has been played; it can be wished again once every song has played.</source>
        <translation>Dieses Lied wurde schon gespielt; es kann wieder gewünscht werden, wenn alle Lieder gespielt sind.</translation>
    </message>
    <message>
        <source>This song cannot be played.</source>
        <translation>Dieses Lied kann nicht gespielt werden.</translation>
    </message>
    <message>
        <source>Your wish is in the queue.</source>
        <translation>Dein Wunsch ist in der Warteschlange.</translation>
    </message>
    <message>
        <source>This photo belongs to no wish of yours.</source>
        <translation>Dieses Foto gehört zu keinem deiner Wünsche.</translation>
    </message>
    <message>
        <source>Photos cannot be kept at this party.</source>
        <translation>Auf dieser Party können keine Fotos gespeichert werden.</translation>
    </message>
    <message>
        <source>The photo &quot;%1&quot; from a phone could not be written: %2</source>
        <translation>Das Foto „%1“ von einem Handy konnte nicht geschrieben werden: %2</translation>
    </message>
    <message>
        <source>The photo could not be kept.</source>
        <translation>Das Foto konnte nicht gespeichert werden.</translation>
    </message>
    <message>
        <source>Your photo is with your song.</source>
        <translation>Dein Foto ist bei deinem Lied.</translation>
    </message>
    <message>
        <source>Your waiting wishes have reached this party&apos;s limit of %1; wish again when one of them plays.</source>
        <translation>Deine wartenden Wünsche haben die Grenze dieser Party von %1 erreicht; wünsch dir wieder etwas, wenn einer davon läuft.</translation>
    </message>
    <message>
        <source>The PIN for phone wishes (setting Phones/PIN) cannot be used: it must be at most %1 letters, digits or signs without blanks. Phone wishes stay off until it is mended.</source>
        <translation>Die PIN für Wünsche vom Handy (Einstellung Phones/PIN) ist unbrauchbar: Sie darf höchstens %1 Buchstaben, Ziffern oder Zeichen ohne Leerzeichen haben. Wünsche vom Handy bleiben aus, bis sie berichtigt ist.</translation>
    </message>
    <message>
        <source>Phone wish from guest %1 for &quot;%2&quot;: %3</source>
        <translation>Wunsch vom Handy des Gasts %1 für „%2“: %3</translation>
    </message>
    <message>
        <source>refused, the guest&apos;s limit of %1 waiting wishes is reached</source>
        <translation>abgelehnt, die Grenze des Gasts von %1 wartenden Wünschen ist erreicht</translation>
    </message>
    <message>
        <source>refused: %1</source>
        <translation>abgelehnt: %1</translation>
    </message>
    <message>
        <source>taken into the queue</source>
        <translation>in die Warteschlange aufgenommen</translation>
    </message>
    <message>
        <source>Phone photo from guest %1 taken in for &quot;%2&quot; as &quot;%3&quot;.</source>
        <translation>Foto vom Handy des Gasts %1 für „%2“ als „%3“ aufgenommen.</translation>
    </message>
</context>
<context>
    <name>PhonePage</name>
    <message>
        <source>Vimo – wish a song</source>
        <translation>Vimo – wünsch dir ein Lied</translation>
    </message>
    <message>
        <source>Enter the PIN shown on the screen</source>
        <translation>Gib die PIN ein, die auf dem Bildschirm steht</translation>
    </message>
    <message>
        <source>Let me in</source>
        <translation>Reinlassen</translation>
    </message>
    <message>
        <source>Now playing</source>
        <translation>Jetzt läuft</translation>
    </message>
    <message>
        <source>Nothing yet – wish the first song!</source>
        <translation>Noch nichts – wünsch dir das erste Lied!</translation>
    </message>
    <message>
        <source>Waiting</source>
        <translation>Wartet</translation>
    </message>
    <message>
        <source>No wish waiting.</source>
        <translation>Kein Wunsch wartet.</translation>
    </message>
    <message>
        <source>Add a photo and a comment</source>
        <translation>Füge ein Foto und einen Kommentar hinzu</translation>
    </message>
    <message>
        <source>Your photo</source>
        <translation>Dein Foto</translation>
    </message>
    <message>
        <source>Your comment</source>
        <translation>Dein Kommentar</translation>
    </message>
    <message>
        <source>Send the photo</source>
        <translation>Foto senden</translation>
    </message>
    <message>
        <source>No photo</source>
        <translation>Kein Foto</translation>
    </message>
    <message>
        <source>Wish a song</source>
        <translation>Wünsch dir ein Lied</translation>
    </message>
    <message>
        <source>Artist or title</source>
        <translation>Künstler oder Titel</translation>
    </message>
    <message>
        <source>Search artist or title</source>
        <translation>Künstler oder Titel suchen</translation>
    </message>
    <message>
        <source>Genres</source>
        <translation>Genres</translation>
    </message>
    <message>
        <source>More songs match: type more of the name.</source>
        <translation>Es passen noch mehr Lieder: Tippe mehr vom Namen.</translation>
    </message>
    <message>
        <source>The jukebox cannot be reached.</source>
        <translation>Die Jukebox ist nicht erreichbar.</translation>
    </message>
    <message>
        <source>paused</source>
        <translation>angehalten</translation>
    </message>
    <message>
        <source>%1 left</source>
        <translation>noch %1</translation>
    </message>
    <message>
        <source>All genres</source>
        <translation>Alle Genres</translation>
    </message>
    <message>
        <source>Wish</source>
        <translation>Wünschen</translation>
    </message>
    <message>
        <source>Wish %1</source>
        <translation>%1 wünschen</translation>
    </message>
    <message>
        <source>waiting</source>
        <translation>wartet</translation>
    </message>
    <message>
        <source>playing</source>
        <translation>läuft</translation>
    </message>
    <message>
        <source>played</source>
        <translation>gespielt</translation>
    </message>
    <message>
        <source>your wish</source>
        <translation>dein Wunsch</translation>
    </message>
    <message>
        <source>Your wish is playing now: %1</source>
        <translation>Dein Wunsch läuft jetzt: %1</translation>
    </message>
    <message>
        <source>Take or choose a photo first.</source>
        <translation>Mach oder wähle zuerst ein Foto.</translation>
    </message>
    <message>
        <source>The photo is larger than 15 MB.</source>
        <translation>Das Foto ist größer als 15 MB.</translation>
    </message>
    <message>
        <source>Sending the photo …</source>
        <translation>Das Foto wird gesendet …</translation>
    </message>
</context>
<context>
    <name>PhonePanel</name>
    <message>
        <source>Wish from your phone</source>
        <translation>Wünsch dir was vom Handy</translation>
    </message>
    <message>
        <source>PIN: %1</source>
        <translation>PIN: %1</translation>
    </message>
</context>
<context>
    <name>PhoneRouter</name>
    <message>
        <source>There is no such page.</source>
        <translation>Diese Seite gibt es nicht.</translation>
    </message>
    <message>
        <source>This is not allowed.</source>
        <translation>Das ist nicht erlaubt.</translation>
    </message>
    <message>
        <source>Too many requests; wait a moment.</source>
        <translation>Zu viele Anfragen; warte einen Moment.</translation>
    </message>
    <message>
        <source>Please reload the page.</source>
        <translation>Bitte lade die Seite neu.</translation>
    </message>
    <message>
        <source>Too many attempts; wait a minute.</source>
        <translation>Zu viele Versuche; warte eine Minute.</translation>
    </message>
    <message>
        <source>That is not the PIN.</source>
        <translation>Das ist nicht die PIN.</translation>
    </message>
    <message>
        <source>Please enter the PIN shown on the screen.</source>
        <translation>Bitte gib die PIN ein, die auf dem Bildschirm steht.</translation>
    </message>
    <message>
        <source>Too many wishes at once; wait a moment.</source>
        <translation>Zu viele Wünsche auf einmal; warte einen Moment.</translation>
    </message>
    <message>
        <source>This song is not in the library.</source>
        <translation>Dieses Lied ist nicht in der Bibliothek.</translation>
    </message>
    <message>
        <source>The photo could not be taken on.</source>
        <translation>Das Foto konnte nicht angenommen werden.</translation>
    </message>
    <message>
        <source>This search cannot be made.</source>
        <translation>Diese Suche geht nicht.</translation>
    </message>
    <message>
        <source>A phone of guest %1 gave a wrong PIN.</source>
        <translation>Ein Handy des Gasts %1 hat eine falsche PIN eingegeben.</translation>
    </message>
</context>
<context>
    <name>PhoneServer</name>
    <message>
        <source>The party has closed its phone wishes.</source>
        <translation>Die Party nimmt keine Wünsche vom Handy mehr an.</translation>
    </message>
    <message>
        <source>This is too large.</source>
        <translation>Das ist zu groß.</translation>
    </message>
    <message>
        <source>Many photos are arriving; try again in a moment.</source>
        <translation>Gerade kommen viele Fotos an; bitte versuche es gleich noch einmal.</translation>
    </message>
    <message>
        <source>This cannot be read.</source>
        <translation>Das kann nicht gelesen werden.</translation>
    </message>
    <message>
        <source>Please try again.</source>
        <translation>Bitte versuche es noch einmal.</translation>
    </message>
</context>
<context>
    <name>PhotoComment</name>
    <message>
        <source>The comment for the photo &quot;%1&quot; was shortened from %2 to %3 bytes to fit into the photo.</source>
        <translation>Der Kommentar zum Foto „%1“ wurde von %2 auf %3 Bytes gekürzt, damit er in das Foto passt.</translation>
    </message>
    <message>
        <source>Reading error: only %1 of %2 bytes of the photo &quot;%3&quot; could be read; the comment was not stored.</source>
        <translation>Lesefehler: nur %1 von %2 Bytes des Fotos „%3“ konnten gelesen werden; der Kommentar wurde nicht gespeichert.</translation>
    </message>
    <message>
        <source>The photo &quot;%1&quot; is no JPEG file; the comment was not stored.</source>
        <translation>Das Foto „%1“ ist keine JPEG-Datei; der Kommentar wurde nicht gespeichert.</translation>
    </message>
    <message>
        <source>The photo &quot;%1&quot; already holds EXIF data; the comment was not stored.</source>
        <translation>Das Foto „%1“ enthält bereits EXIF-Daten; der Kommentar wurde nicht gespeichert.</translation>
    </message>
    <message>
        <source>The comment could not be stored in the photo &quot;%1&quot;: %2</source>
        <translation>Der Kommentar konnte nicht im Foto „%1“ gespeichert werden: %2</translation>
    </message>
    <message>
        <source>The photo &quot;%1&quot; is no plain file; the comment was not stored.</source>
        <translation>Das Foto „%1“ ist keine gewöhnliche Datei; der Kommentar wurde nicht gespeichert.</translation>
    </message>
</context>
<context>
    <name>PhotoIntake</name>
    <message>
        <source>The photo is larger than 15 MB.</source>
        <translation>Das Foto ist größer als 15 MB.</translation>
    </message>
    <message>
        <source>This is no photo Vimo can read (JPEG, PNG, WebP, GIF or BMP).</source>
        <translation>Das ist kein Foto, das Vimo lesen kann (JPEG, PNG, WebP, GIF oder BMP).</translation>
    </message>
    <message>
        <source>The photo could not be read.</source>
        <translation>Das Foto konnte nicht gelesen werden.</translation>
    </message>
    <message>
        <source>The photo has more than 40 megapixels.</source>
        <translation>Das Foto hat mehr als 40 Megapixel.</translation>
    </message>
    <message>
        <source>The photo would take more than %1 MB to read.</source>
        <translation>Das Foto bräuchte zum Lesen mehr als %1 MB.</translation>
    </message>
</context>
<context>
    <name>PlainFile</name>
    <message>
        <source>it is a symbolic link</source>
        <translation>es ist eine symbolische Verknüpfung</translation>
    </message>
    <message>
        <source>it is no plain file</source>
        <translation>es ist keine gewöhnliche Datei</translation>
    </message>
</context>
<context>
    <name>PlayQueue</name>
    <message>
        <source>Could not play the file %1; it is skipped.</source>
        <translation>Die Datei %1 konnte nicht abgespielt werden; sie wird übersprungen.</translation>
    </message>
    <message>
        <source>None of the songs could be played.</source>
        <translation>Keines der Lieder konnte abgespielt werden.</translation>
    </message>
    <message>
        <source>The playlist &quot;%1&quot; is not written: %2.</source>
        <translation>Die Wiedergabeliste &quot;%1&quot; wird nicht geschrieben: %2.</translation>
    </message>
    <message>
        <source>The host took the wish %1 out of the queue.</source>
        <translation>Der Gastgeber hat den Wunsch %1 aus der Warteschlange genommen.</translation>
    </message>
    <message>
        <source>The host skipped the song %1.</source>
        <translation>Der Gastgeber hat das Lied %1 übersprungen.</translation>
    </message>
</context>
<context>
    <name>QWidget</name>
    <message>
        <source>Reading ID3 tags of file:</source>
        <translation>Lesen der ID3-Tags der Datei:</translation>
    </message>
    <message>
        <source>reading the music data failed.</source>
        <translation>Lesen der Musikdaten fehlgeschlagen.</translation>
    </message>
    <message>
        <source>too few (&lt;0) or too many seconds -&gt; failed.</source>
        <translation>zu wenige (&lt;0) oder zu viele Sekunden -&gt; fehlgeschlagen.</translation>
    </message>
    <message>
        <source>title failed.</source>
        <translation>Titel fehlgeschlagen.</translation>
    </message>
    <message>
        <source>artist failed.</source>
        <translation>Interpret fehlgeschlagen.</translation>
    </message>
    <message>
        <source>the file could not be found.</source>
        <translation>die Datei wurde nicht gefunden.</translation>
    </message>
    <message>
        <source>the file cannot be read.</source>
        <translation>die Datei kann nicht gelesen werden.</translation>
    </message>
    <message>
        <source>This folder cannot be read; its songs are not added:</source>
        <translation>Dieser Ordner kann nicht gelesen werden; seine Songs werden nicht hinzugefügt:</translation>
    </message>
</context>
<context>
    <name>RunLog</name>
    <message>
        <source>Vimo: the log file &quot;%1&quot; is not written: %2.</source>
        <translation>Vimo: Die Protokolldatei &quot;%1&quot; wird nicht geschrieben: %2.</translation>
    </message>
</context>
<context>
    <name>Settings</name>
    <message>
        <source>Vimo: the settings file &quot;%1&quot; is not used: %2. The defaults apply and no setting is saved.</source>
        <translation>Vimo: Die Einstellungsdatei &quot;%1&quot; wird nicht verwendet: %2. Es gelten die Voreinstellungen, und keine Einstellung wird gespeichert.</translation>
    </message>
</context>
<context>
    <name>SingleInstance</name>
    <message>
        <source>Vimo was started a second time; the running window was brought to the front.</source>
        <translation>Vimo wurde ein zweites Mal gestartet; das laufende Fenster wurde nach vorne geholt.</translation>
    </message>
    <message>
        <source>Vimo is still closing; this start waits until it has ended.</source>
        <translation>Vimo wird noch beendet; dieser Start wartet, bis es beendet ist.</translation>
    </message>
</context>
<context>
    <name>Snapshot</name>
    <message>
        <source>The photo &quot;%1&quot; could not be encoded.</source>
        <translation>Das Foto „%1“ konnte nicht kodiert werden.</translation>
    </message>
    <message>
        <source>The photo &quot;%1&quot; could not be written: %2</source>
        <translation>Das Foto „%1“ konnte nicht geschrieben werden: %2</translation>
    </message>
    <message>
        <source>The photo &quot;%1&quot; was not taken: there is no folder for the photos.</source>
        <translation>Das Foto „%1“ wurde nicht aufgenommen: Es gibt keinen Ordner für die Fotos.</translation>
    </message>
</context>
<context>
    <name>SongCache</name>
    <message>
        <source>The song cache could not be read and has been started anew.</source>
        <translation>Der Lieder-Zwischenspeicher war nicht lesbar und wurde neu angelegt.</translation>
    </message>
    <message>
        <source>The song cache is busy or cannot be written; songs are read without it.</source>
        <translation>Der Lieder-Zwischenspeicher ist belegt oder nicht beschreibbar; die Lieder werden ohne ihn gelesen.</translation>
    </message>
    <message>
        <source>The song cache &quot;%1&quot; is not used: %2; songs are read without it.</source>
        <translation>Der Lieder-Zwischenspeicher &quot;%1&quot; wird nicht verwendet: %2; die Lieder werden ohne ihn gelesen.</translation>
    </message>
</context>
<context>
    <name>SongCell</name>
    <message>
        <source>played</source>
        <translation>gespielt</translation>
    </message>
    <message>
        <source>playing</source>
        <translation>läuft</translation>
    </message>
    <message>
        <source>waiting at position %1</source>
        <translation>wartet an Position %1</translation>
    </message>
    <message>
        <source>free to wish</source>
        <translation>frei zum Wünschen</translation>
    </message>
</context>
<context>
    <name>StopMotion</name>
    <message>
        <source>The disk is nearly full: no more stop-motion frames are taken.</source>
        <translation>Der Datenträger ist fast voll: Es werden keine Stop-Motion-Bilder mehr aufgenommen.</translation>
    </message>
    <message>
        <source>The party film was not made: the disk is too full.</source>
        <translation>Der Partyfilm wurde nicht erstellt: Der Datenträger ist zu voll.</translation>
    </message>
    <message>
        <source>The party film was not made: its first frame cannot be read.</source>
        <translation>Der Partyfilm wurde nicht erstellt: Sein erstes Bild kann nicht gelesen werden.</translation>
    </message>
    <message>
        <source>The party film was not made: no video encoder could write it.</source>
        <translation>Der Partyfilm wurde nicht erstellt: Kein Video-Encoder konnte ihn schreiben.</translation>
    </message>
    <message>
        <source>The party film &quot;%1&quot; was made from %2 frames (%3).</source>
        <translation>Der Partyfilm „%1“ wurde aus %2 Bildern erstellt (%3).</translation>
    </message>
</context>
<context>
    <name>TextScaling</name>
    <message>
        <source>The setting [UI] Text scale is &quot;%1&quot;, not a number from 0 to 4: the text follows the screen.</source>
        <translation>Die Einstellung [UI] Text scale ist „%1“, keine Zahl von 0 bis 4: Die Schrift richtet sich nach dem Bildschirm.</translation>
    </message>
    <message>
        <source>The setting [UI] Text scale is %1, outside %2 to %3: %4 is used.</source>
        <translation>Die Einstellung [UI] Text scale ist %1 und liegt außerhalb von %2 bis %3: %4 wird verwendet.</translation>
    </message>
    <message>
        <source>On a screen of %1 x %2 at %3 dpi the grid&apos;s cells are at least %4 x %5 pixels, their text %6 pt.</source>
        <translation>Auf einem Bildschirm von %1 x %2 bei %3 dpi sind die Zellen des Rasters mindestens %4 x %5 Pixel groß, ihre Schrift %6 pt.</translation>
    </message>
</context>
<context>
    <name>TroubleMark</name>
    <message>
        <source>Not saving</source>
        <translation>Speichern gestört</translation>
    </message>
</context>
<context>
    <name>VolumeSetting</name>
    <message>
        <source>The stored volume &quot;%1&quot; is not 0 to 100; playing at %2 %.</source>
        <translation>Die gespeicherte Lautstärke „%1“ liegt nicht zwischen 0 und 100; gespielt wird mit %2 %.</translation>
    </message>
</context>
<context>
    <name>WholeFile</name>
    <message>
        <source>only %1 of %2 bytes were written</source>
        <translation>nur %1 von %2 Bytes wurden geschrieben</translation>
    </message>
</context>
</TS>
