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
           "COMM": b"COM", "TRCK": b"TRK"}


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
