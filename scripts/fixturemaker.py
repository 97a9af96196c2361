# SPDX-License-Identifier: GPL-3.0-or-later
"""The steps every maker of test, benchmark and demo songs takes: sound from sox, MP3 from lame, ID3 tags
written byte by byte.

Every file comes out the same on every machine and every run: sox draws its dither and noise from a seeded
generator (-R), and the tags are built here rather than by a tagger whose layout may change between
versions. A test that fails on one machine then fails on all, and a benchmark measures the same files.
"""
import contextlib
import os
import shutil
import struct
import subprocess
import tempfile


def sox(arguments):
    """Runs sox with repeatable random numbers (dither, noise)."""
    subprocess.run(["sox", "-R", "-q"] + arguments, check=True)


def tone(path, seconds, rate, channels, synth="sine 440", effects=""):
    """Writes `seconds` of `synth` (sox synth arguments) at 16 bits into the WAV file `path`."""
    sox(["-n", "-r", str(rate), "-c", str(channels), "-b", "16", path, "synth", str(seconds)] + synth.split() +
        effects.split())


def lame(wav, options):
    """The bytes of the WAV file `wav` encoded by lame with `options`."""
    mp3 = wav + ".mp3"
    subprocess.run(["lame", "--quiet"] + options + [wav, mp3], check=True)
    with open(mp3, "rb") as f:
        audio = f.read()
    os.remove(mp3)
    return audio


def encode(seconds, rate, channels, lame_options, synth="sine 440", effects=""):
    """The bytes of a tone (see tone()) encoded by lame with `lame_options`."""
    with workspace() as work:
        wav = os.path.join(work, "tone.wav")
        tone(wav, seconds, rate, channels, synth, effects)
        return lame(wav, lame_options)


def tiny_song():
    """The bytes of a second of tone at 8 kHz, mono, 8 kbit/s: a playable song of about 1 KB, to be
    copied under as many tags as a test needs songs."""
    return encode(1, 8000, 1, ["-b", "8", "-m", "m"], effects="vol 0.5")


@contextlib.contextmanager
def workspace():
    """A temporary folder for the intermediate files, gone afterwards."""
    with tempfile.TemporaryDirectory(prefix="vimo-fixtures-") as work:
        yield work


def fresh_folder(path):
    """The empty folder `path`: what an earlier run left there would count as songs."""
    if os.path.isdir(path):
        shutil.rmtree(path)
    os.makedirs(path)
    return path


def write(path, *parts):
    """Writes the byte strings `parts` one after the other into `path`, making its folder."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        for part in parts:
            f.write(part)


def synchsafe(n):
    return bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])


def text_data(text, encoding=0, terminator=False):
    """Encoding byte plus the text (0 Latin-1, 1 UTF-16 with byte order mark, 2 UTF-16BE, 3 UTF-8); raw
    bytes are taken as they are."""
    if isinstance(text, bytes):
        body = text
    elif encoding == 0:
        body = text.encode("latin-1")
    elif encoding == 1:
        body = b"\xff\xfe" + text.encode("utf-16-le")
    elif encoding == 2:
        body = text.encode("utf-16-be")
    else:
        body = text.encode("utf-8")
    if terminator:
        body += b"\x00\x00" if encoding in (1, 2) else b"\x00"
    return bytes([encoding]) + body


V22_IDS = {"TIT2": b"TT2", "TPE1": b"TP1", "TALB": b"TAL", "TCON": b"TCO", "TYER": b"TYE",
           "COMM": b"COM", "TRCK": b"TRK", "APIC": b"PIC"}


def picture_data(picture, picture_type=3, mime="image/jpeg", description="", version=3):
    """The body of an APIC frame (PIC in ID3v2.2, which names the format in three letters): the picture's
    bytes as `picture_type` (3 the front cover, 4 the back, 0 other) with a Latin-1 description."""
    if version == 2:
        image_format = b"PNG" if mime == "image/png" else b"JPG"
        return b"\x00" + image_format + bytes([picture_type]) + description.encode("latin-1") + b"\x00" + picture
    return (b"\x00" + mime.encode("latin-1") + b"\x00" + bytes([picture_type]) + description.encode("latin-1") +
            b"\x00" + picture)


def frame(frame_id, data, version=3, size=None):
    """One ID3v2 frame; `size` states another size than the data's, as a damaged tag does."""
    size = len(data) if size is None else size
    if version == 2:
        return V22_IDS[frame_id] + struct.pack(">I", size)[1:] + data
    return frame_id.encode() + (struct.pack(">I", size) if version == 3 else synchsafe(size)) + b"\x00\x00" + data


def id3v2(frames, version=3, padding=64):
    """An ID3v2 tag of the given version (2, 3 or 4) from (frame id, data) pairs."""
    body = b"".join(frame(frame_id, data, version) for frame_id, data in frames) + b"\x00" * padding
    return b"ID3" + bytes([version, 0, 0]) + synchsafe(len(body)) + body


def id3v1(title="", artist="", album="", year="", comment="", track=0, genre=255):
    def field(text, size):
        return text.encode("latin-1")[:size].ljust(size, b"\x00")
    return (b"TAG" + field(title, 30) + field(artist, 30) + field(album, 30) + field(year, 4) +
            field(comment, 28) + b"\x00" + bytes([track, genre]))


def write_song(path, audio, fields, encoding=1):
    """Writes `audio` behind an ID3v2.3 tag of the text frames `fields` ((frame id, text) pairs, in the order
    a tagger writes them: TIT2, TPE1, TRCK, TALB, TCON, then the rest; a text of None is left out).

    The texts end in a zero, and the padding of 1 KiB and a thousandth of the audio leaves room to edit the
    tag in place: the layout mutagen gives a new tag, as in the songs of a real collection.
    """
    frames = [(frame_id, text_data(text, encoding, terminator=True)) for frame_id, text in fields
              if text is not None]
    write(path, id3v2(frames, 3, padding=1024 + len(audio) // 1000), audio)


# The other formats a host brings, each made by its own Debian tool and with the same tags. Every encoder is
# told to be repeatable: a fixed Ogg serial number, FFmpeg's bit-exact mode (no version string, no time).
FORMAT_SUFFIXES = {"flac": ".flac", "vorbis": ".ogg", "opus": ".opus", "aac": ".m4a", "alac": ".m4a",
                   "wav": ".wav"}


def encode_format(wav, kind, tags):
    """The bytes of the WAV file `wav` encoded as `kind` (a key of FORMAT_SUFFIXES) with `tags`, a dict of
    title, artist, album, genre, year, comment and track (any may be missing)."""
    out = wav + "." + kind + FORMAT_SUFFIXES[kind]
    tags = {key: str(value) for key, value in tags.items() if value is not None}
    if kind == "flac":
        names = {"title": "TITLE", "artist": "ARTIST", "album": "ALBUM", "genre": "GENRE", "year": "DATE",
                 "comment": "COMMENT", "track": "TRACKNUMBER"}
        command = ["flac", "--silent", "--force", "-o", out] + \
            ["--tag=%s=%s" % (names[key], value) for key, value in tags.items()] + [wav]
    elif kind == "vorbis":
        names = {"title": "-t", "artist": "-a", "album": "-l", "genre": "-G", "year": "-d", "track": "-N"}
        command = ["oggenc", "--quiet", "--serial", "4711", "-q", "3", "-o", out]
        for key, value in tags.items():
            command += ["-c", "comment=" + value] if key == "comment" else [names[key], value]
        command.append(wav)
    elif kind == "opus":
        names = {"title": "--title", "artist": "--artist", "album": "--album", "genre": "--genre",
                 "year": "--date"}
        command = ["opusenc", "--quiet", "--serial", "4711", "--bitrate", "96"]
        for key, value in tags.items():
            command += ["--comment", "%s=%s" % ({"comment": "COMMENT", "track": "TRACKNUMBER"}[key], value)] \
                if key in ("comment", "track") else [names[key], value]
        command += [wav, out]
    else:
        names = {"title": "title", "artist": "artist", "album": "album", "genre": "genre", "year": "date",
                 "comment": "comment", "track": "track"}
        codec = {"aac": ["-c:a", "aac", "-b:a", "128k"], "alac": ["-c:a", "alac"], "wav": ["-c:a", "pcm_s16le"]}
        # The MP4 edit list that cuts the encoder's delay and padding states the length in the movie's time
        # scale: FFmpeg's default of milliseconds misplaces a song's end by up to 22 samples, which iTunes
        # and other encoders do not.
        timescale = ["-movie_timescale", "44100"] if kind in ("aac", "alac") else []
        command = ["ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-i", wav, "-map_metadata", "-1",
                   "-fflags", "+bitexact", "-flags:a", "+bitexact"] + codec[kind] + timescale
        for key, value in tags.items():
            command += ["-metadata", "%s=%s" % (names[key], value)]
        command.append(out)
    subprocess.run(command, check=True)
    with open(out, "rb") as f:
        data = f.read()
    os.remove(out)
    return data


# Songs in the other formats damaged byte by byte, as files from anywhere come: for the tests' tables and the
# fuzz program's seeds alike.

def box(kind, content):
    """An MP4 box of the type `kind` (4 bytes) around `content`."""
    return struct.pack(">I", len(content) + 8) + kind + content


def ogg_crc(page):
    crc = 0
    for byte in page:
        crc ^= byte << 24
        for _ in range(8):
            crc = ((crc << 1) ^ 0x04C11DB7) & 0xFFFFFFFF if crc & 0x80000000 else (crc << 1) & 0xFFFFFFFF
    return crc


def with_last_granule(ogg, granule):
    """The Ogg stream with its last page claiming `granule`, its CRC made to hold again."""
    last = ogg.rindex(b"OggS")
    page = bytearray(ogg[last:])
    page[6:14] = struct.pack("<q", granule)
    page[22:26] = b"\0\0\0\0"
    page[22:26] = struct.pack("<I", ogg_crc(bytes(page)))
    return ogg[:last] + bytes(page)


def flac_with_pictures(flac, count, size):
    """The FLAC stream with `count` PICTURE blocks of `size` bytes each behind STREAMINFO."""
    picture = struct.pack(">II", 3, 10) + b"image/jpeg" + struct.pack(">IIIIII", 0, 1, 1, 24, 0, size) + \
        (b"\xff\xd8\xff" + b"\x5a" * (size - 3))
    blocks = b"".join(bytes([6]) + struct.pack(">I", len(picture))[1:] + picture for _ in range(count))
    return flac[:4 + 4 + 34] + blocks + flac[4 + 4 + 34:]


def mp4_items(m4a, change):
    """The MP4 file with moov/udta/meta/ilst's content replaced by change(content), every size above kept
    right. The moov box must be the file's last, so that no sample offset moves."""
    moov = m4a.index(b"moov") - 4
    assert moov + struct.unpack(">I", m4a[moov:moov + 4])[0] == len(m4a)
    ilst = m4a.index(b"ilst", moov) - 4
    size = struct.unpack(">I", m4a[ilst:ilst + 4])[0]
    content = change(m4a[ilst + 8:ilst + size])
    grown = len(content) - (size - 8)
    data = bytearray(m4a[:ilst] + box(b"ilst", content) + m4a[ilst + size:])
    for name in (b"moov", b"udta", b"meta"):
        at = data.index(name, moov) - 4
        data[at:at + 4] = struct.pack(">I", struct.unpack(">I", data[at:at + 4])[0] + grown)
    return bytes(data)


def moov_first(m4a):
    """The MP4 file with its tables moved in front of the sound, as a streaming encoder writes it."""
    with workspace() as work:
        slow, fast = os.path.join(work, "slow.m4a"), os.path.join(work, "fast.m4a")
        write(slow, m4a)
        subprocess.run(["ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-i", slow, "-c", "copy", "-movflags",
                        "+faststart", "-fflags", "+bitexact", fast], check=True)
        with open(fast, "rb") as f:
            return f.read()


def damaged_format_files(songs):
    """Files made from `songs` (encode_format()'s bytes by kind, all of kinds of FORMAT_SUFFIXES, tagged with a
    title and an artist) by name: cut short, mislabelled, with lengths that cannot hold or that lie, with sizes
    claiming gigabytes, with boxes that would make a walker stand."""
    files = {}
    for kind, data in songs.items():
        suffix = FORMAT_SUFFIXES[kind]
        # For MP4 the tables must come first, or the tables are what is lost.
        data = moov_first(data) if suffix == ".m4a" else data
        files["cut-%s%s" % (kind, suffix)] = data[:len(data) * 2 // 3]
    files["flac-named.mp3"] = songs["flac"]
    files["opus-named.m4a"] = songs["opus"]
    # STREAMINFO's total samples 0, as an encoder that cannot seek back leaves it.
    flac = bytearray(songs["flac"])
    flac[8 + 13] &= 0xF0
    flac[8 + 14:8 + 18] = b"\0\0\0\0"
    files["no-total.flac"] = bytes(flac)
    files["billion-granule.opus"] = with_last_granule(songs["opus"], 1000000000)
    files["billion-granule.ogg"] = with_last_granule(songs["vorbis"], 1000000000)
    aac = songs["aac"]
    files["item-claims-gigabytes.m4a"] = mp4_items(aac, lambda items: items + struct.pack(">I", 0xFFFFFFF0) +
                                                   b"\xa9cmt" + b"\0" * 16)
    # A 64-bit box size of 0 behind the ftyp, and a trak whose size is 4.
    ftyp_end = struct.unpack(">I", aac[:4])[0]
    files["box-size-zero.m4a"] = aac[:ftyp_end] + struct.pack(">I", 1) + b"free" + b"\0" * 8 + aac[ftyp_end:]
    trak = aac.index(b"trak", aac.index(b"moov")) - 4
    files["box-size-four.m4a"] = aac[:trak] + struct.pack(">I", 4) + aac[trak + 4:]
    wav = songs["wav"]
    data = wav.index(b"data")
    files["data-claims-gigabytes.wav"] = wav[:data + 4] + struct.pack("<I", 0xFFFFFFF0) + wav[data + 8:]
    # The last comment field of a FLAC claims four gigabytes; the fields before it are whole.
    flac = songs["flac"]
    comment = flac.index(b"reference libFLAC") - 4
    count_at = comment + 4 + struct.unpack("<I", flac[comment:comment + 4])[0]
    last = count_at + 4
    for _ in range(struct.unpack("<I", flac[count_at:count_at + 4])[0] - 1):
        last += 4 + struct.unpack("<I", flac[last:last + 4])[0]
    files["field-claims-gigabytes.flac"] = flac[:last] + struct.pack("<I", 0xFFFFFFF0) + flac[last + 4:]
    return files
