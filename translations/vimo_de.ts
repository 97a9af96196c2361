<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
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
</context>
</TS>
