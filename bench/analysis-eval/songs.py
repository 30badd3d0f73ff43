"""Test songs with exactly known beats and bar starts, made from sox-synthesised drum hits.

Each song is a 4/4 drum pattern: kick on beats 1 and 3, snare on 2 and 4, closed hats on the
eighths, and a louder kick with a crash on every bar start so that the downbeat is defined. Every
hit is placed at a whole sample offset computed from the tempo, so the true beat and downbeat times
are known to the sample. Variants add leading silence, a break, swung hats, a gain change, a pad or
bass line, a rubberband time stretch, or a lossy or lossless encoding.

Songs are cached in a work folder under a name that carries a hash of everything that shapes them;
a song whose files exist is not made again. Everything is deterministic (sox -R, fixed seeds).
"""

import array
import dataclasses
import hashlib
import json
import math
import operator
import os
import subprocess
import tempfile

RATE = 44100
# Bump when the sounds or the pattern change, so that cached songs are made anew.
GENERATOR_VERSION = 1
PEAK = 0.5  # the mix is scaled to -6 dBFS so that +6 dB just reaches full scale
TAIL_S = 2.0
SWING_DEFAULT = 0.5

# sox synth arguments of each drum sound; every sound starts its attack at its first sample.
SOUNDS = {
    "kick": ["synth", "0.30", "sine", "150:45", "fade", "p", "0", "0.30", "0.27"],
    "snare": ["synth", "0.18", "sine", "190", "synth", "0.18", "whitenoise", "mix", "highpass", "300",
              "fade", "p", "0", "0.18", "0.17"],
    "hat": ["synth", "0.05", "whitenoise", "highpass", "7000", "fade", "p", "0", "0.05", "0.045"],
    "crash": ["synth", "1.5", "pinknoise", "highpass", "3000", "fade", "p", "0", "1.5", "1.45"],
}
# Bass roots and pad chords change every bar and every two bars respectively.
BASS_ROOTS_HZ = (55.0, 43.65, 65.41, 49.0)
PAD_CHORDS_HZ = ((220.0, 261.63, 329.63), (174.61, 220.0, 261.63), (261.63, 329.63, 392.0),
                 (196.0, 246.94, 293.66))


@dataclasses.dataclass(frozen=True)
class Song:
    """One test song. bpm is the tempo of the drum pattern before any stretch."""
    name: str
    bpm: float
    seconds: float = 210.0
    lead_s: float = 0.0        # silence before the first beat
    break_s: float = 0.0       # drums stop for at least this long mid-song, in whole bars
    swing: float = SWING_DEFAULT  # where the off-beat hat falls within the beat
    gain_db: float = 0.0
    layer: str = ""            # "", "pad" or "bass"
    tempo_factor: float = 1.0  # rubberband tempo change (1 for none)
    encoding: str = "wav"      # wav, mp3, m4a or flac
    gate: bool = False         # part of the quick set the CTest gate runs

    @property
    def true_bpm(self):
        return self.bpm * self.tempo_factor

    @property
    def constant_tempo(self):
        # Every pattern here keeps one tempo; a break resumes on the same grid.
        return True

    def base(self):
        """The unstretched, unencoded WAV song this one is made from."""
        return dataclasses.replace(self, tempo_factor=1.0, encoding="wav", gate=False)

    def key(self):
        """Short hash of everything that shapes the audio (not the name or the gate flag)."""
        fields = dataclasses.asdict(self)
        fields.pop("name")
        fields.pop("gate")
        fields["version"] = GENERATOR_VERSION
        text = json.dumps(fields, sort_keys=True)
        return hashlib.sha1(text.encode()).hexdigest()[:10]


def catalogue():
    """The evaluation's songs: every tempo plain, then the variants and encodings."""
    songs = []
    for bpm, seconds in ((72, 230), (87.5, 220), (100, 200), (120, 210), (123.7, 190), (128, 200),
                         (140, 215), (150, 185), (174, 235)):
        songs.append(Song("%g-plain" % bpm, bpm, seconds, gate=bpm in (120, 128)))
    songs += [
        Song("123.7-lead-silence", 123.7, 190, lead_s=7.5),
        Song("128-break", 128, 200, break_s=12.0, gate=True),
        Song("100-swing", 100, 200, swing=0.62),
        Song("140-plus6dB", 140, 215, gain_db=6.0),
        Song("87.5-minus6dB", 87.5, 220, gain_db=-6.0),
        Song("120-pad", 120, 210, layer="pad"),
        Song("150-bass", 150, 185, layer="bass"),
        Song("120-stretch-132", 120, 210, tempo_factor=1.1),
        Song("128-plain-mp3", 128, 200, encoding="mp3"),
        Song("100-swing-mp3", 100, 200, swing=0.62, encoding="mp3"),
        Song("120-pad-m4a", 120, 210, layer="pad", encoding="m4a"),
        Song("174-plain-m4a", 174, 235, encoding="m4a"),
        Song("140-plain-flac", 140, 215, encoding="flac"),
        Song("123.7-lead-silence-flac", 123.7, 190, lead_s=7.5, encoding="flac"),
    ]
    return songs


# ----------------------------------------------------------------------------------------------
# The grid


def beat_offset(song, index):
    """Sample offset of beat index (from the first beat) in the unstretched song."""
    return round(song.lead_s * RATE) + round(index * 60.0 * RATE / song.bpm)


def bar_count(song):
    return max(1, round(song.seconds / (4 * 60.0 / song.bpm)))


def break_bars(song):
    """Half-open range of bars without drums: mid-song, whole bars covering break_s."""
    if song.break_s <= 0:
        return (0, 0)
    bars = bar_count(song)
    length = math.ceil(song.break_s / (4 * 60.0 / song.bpm) - 1e-9)
    first = bars // 2
    return (first, min(bars, first + length))


def truth(song):
    """True beats and downbeats in seconds and the true tempo, after any stretch.

    The grid runs on through a break: the drums resume on it, and a DJ's grid stays put.
    """
    beats = []
    downbeats = []
    for index in range(bar_count(song) * 4):
        t = beat_offset(song, index) / RATE / song.tempo_factor
        beats.append(t)
        if index % 4 == 0:
            downbeats.append(t)
    return {"bpm": song.true_bpm, "beats": beats, "downbeats": downbeats}


# ----------------------------------------------------------------------------------------------
# Making audio


def _run(cmd):
    """Runs a tool quietly; its messages are shown only when it fails."""
    result = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if result.returncode != 0:
        raise RuntimeError("%s failed (%d):\n%s" % (" ".join(cmd), result.returncode, result.stdout))


def _sox_sound(args):
    """Mono float samples at RATE of one sox synth command."""
    result = subprocess.run(["sox", "-R", "-n", "-r", str(RATE), "-c", "1", "-t", "raw", "-e", "floating-point",
                             "-b", "32", "-"] + args, check=True, stdout=subprocess.PIPE)
    samples = array.array("f")
    samples.frombytes(result.stdout)
    return samples


def _place(buffer, sound, offset, gain):
    """Adds sound times gain into buffer from offset on, cut at the buffer's end."""
    end = min(len(buffer), offset + len(sound))
    if end <= offset:
        return
    part = sound[:end - offset]
    scaled = map(operator.mul, part, [gain] * len(part))
    buffer[offset:end] = array.array("f", map(operator.add, buffer[offset:end], scaled))


def _drums(song, buffer, sounds):
    period = 60.0 * RATE / song.bpm
    quiet = break_bars(song)
    for bar in range(bar_count(song)):
        if quiet[0] <= bar < quiet[1]:
            continue
        for beat in range(4):
            index = bar * 4 + beat
            at = beat_offset(song, index)
            if beat == 0:
                _place(buffer, sounds["kick"], at, 1.0)
                _place(buffer, sounds["crash"], at, 0.25)
            elif beat == 2:
                _place(buffer, sounds["kick"], at, 0.7)
            else:
                _place(buffer, sounds["snare"], at, 0.55)
            _place(buffer, sounds["hat"], at, 0.3)
            _place(buffer, sounds["hat"], beat_offset(song, index) + round(song.swing * period), 0.2)


def _bass(song, buffer):
    beat_s = 60.0 / song.bpm
    note_s = "%.4f" % (0.45 * beat_s)
    quiet = break_bars(song)
    notes = {}
    for bar in range(bar_count(song)):
        if quiet[0] <= bar < quiet[1]:
            continue
        root = BASS_ROOTS_HZ[bar % len(BASS_ROOTS_HZ)]
        for position, factor in ((0.0, 1.0), (1.5, 1.0), (2.0, 1.5), (3.5, 2.0)):
            freq = root * factor
            if freq not in notes:
                notes[freq] = _sox_sound(["synth", note_s, "sawtooth", "%.2f" % freq, "lowpass", "400",
                                          "fade", "p", "0.005", note_s, "%.4f" % (0.3 * beat_s)])
            at = round(song.lead_s * RATE) + round((bar * 4 + position) * beat_s * RATE)
            _place(buffer, notes[freq], at, 0.8)


def _pad(song, buffer):
    # A pad swells in and out: it hides nothing of the grid's timing but fills the spectrum.
    two_bars = 8 * 60.0 / song.bpm
    length = "%.4f" % (two_bars + 0.3)
    chords = []
    for chord in PAD_CHORDS_HZ:
        tones = [_sox_sound(["synth", length, "sawtooth", "%.2f" % freq, "lowpass", "1500",
                             "fade", "t", "0.3", length, "0.3"]) for freq in chord]
        chords.append(array.array("f", map(operator.add, map(operator.add, tones[0], tones[1]), tones[2])))
    for pair in range(0, bar_count(song), 2):
        at = round(song.lead_s * RATE) + round(pair * 4 * 60.0 / song.bpm * RATE)
        _place(buffer, chords[(pair // 2) % len(chords)], at, 0.35)


def _mix(song):
    total = round(expected_seconds(song) * RATE)
    buffer = array.array("f", bytes(4 * total))
    sounds = {name: _sox_sound(args) for name, args in SOUNDS.items()}
    _drums(song, buffer, sounds)
    if song.layer == "bass":
        _bass(song, buffer)
    elif song.layer == "pad":
        _pad(song, buffer)
    elif song.layer:
        raise ValueError("unknown layer %r" % song.layer)
    peak = max(max(buffer), -min(buffer))
    scale = PEAK / peak
    return array.array("f", map(operator.mul, buffer, [scale] * len(buffer)))


def _write_base(song, path):
    samples = _mix(song)
    with tempfile.NamedTemporaryFile(suffix=".raw", dir=os.path.dirname(path)) as raw:
        raw.write(samples.tobytes())
        raw.flush()
        # No dither: the same song gives the same bytes; clipping of the +6 dB song is meant.
        _run(["sox", "-R", "-D", "-V1", "-t", "raw", "-r", str(RATE), "-e", "floating-point", "-b", "32",
              "-c", "1", raw.name, "-b", "16", "-c", "2", path, "gain", "%g" % song.gain_db])


def _stretch(song, source, path):
    _run(["rubberband", "-q", "-T%.6f" % song.tempo_factor, source, path])


def _encode(song, source, path):
    if song.encoding == "mp3":
        cmd = ["lame", "--quiet", "-b", "192", source, path]
    elif song.encoding == "m4a":
        cmd = ["ffmpeg", "-nostdin", "-v", "error", "-y", "-i", source, "-c:a", "aac", "-b:a", "192k",
               "-fflags", "+bitexact", "-flags:a", "+bitexact", path]
    elif song.encoding == "flac":
        cmd = ["flac", "-s", "-f", "-5", "-o", path, source]
    else:
        raise ValueError("unknown encoding %r" % song.encoding)
    _run(cmd)


def _decode_for_peers(source, path):
    # ffmpeg drops the encoders' priming samples (LAME tag, MP4 edit list), as players do.
    _run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-i", source, "-c:a", "pcm_s16le",
          "-fflags", "+bitexact", "-flags:a", "+bitexact", path])


@dataclasses.dataclass
class SongFiles:
    song: Song
    audio: str       # the file our programs analyse
    peer_wav: str    # the same audio as WAV, for peers that read only WAV
    truth: dict
    minutes: float


def paths(song, folder):
    """Audio, peer WAV and truth paths. Unchanged WAV songs share one base file per sound."""
    stem = os.path.join(folder, "%s-%s" % (song.name, song.key()))
    if song.encoding == "wav" and song.tempo_factor == 1.0:
        audio = os.path.join(folder, "base-%g-%s.wav" % (song.bpm, song.key()))
    else:
        audio = stem + "." + song.encoding
    peer_wav = audio if song.encoding == "wav" else stem + ".peer.wav"
    return audio, peer_wav, stem + ".json"


def _duration(path):
    """Length in seconds as ffprobe reads it (every format here), or 0 when it cannot tell."""
    result = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", path],
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    try:
        return float(result.stdout.strip())
    except ValueError:
        return 0.0


def expected_seconds(song):
    """Length of the song's audio: lead, whole bars, the tail for decays, scaled by any stretch."""
    samples = round(song.lead_s * RATE) + round(bar_count(song) * 4 * 60.0 * RATE / song.bpm) + round(TAIL_S * RATE)
    return samples / RATE / song.tempo_factor


def _whole(path, seconds):
    # Encoders add a few ms of padding; a file cut short (an interrupted tool can still leave a
    # header behind) is off by far more.
    return os.path.exists(path) and abs(_duration(path) - seconds) < 0.5


def _atomic(make, path, seconds):
    """Runs make(temporary path), checks the result's length and moves it into place, so that an
    interrupted run leaves no half song in the cache. A cached file of the wrong length is made anew."""
    if _whole(path, seconds):
        return
    base, ext = os.path.splitext(path)
    temp = "%s.part%d%s" % (base, os.getpid(), ext)
    try:
        make(temp)
        if not _whole(temp, seconds):
            raise RuntimeError("%s: %.3f s instead of %.3f s" % (path, _duration(temp), seconds))
        os.replace(temp, path)
    finally:
        if os.path.exists(temp):
            os.remove(temp)


def make(song, folder):
    """Makes (or finds in the cache) the song's files; returns its SongFiles."""
    os.makedirs(folder, exist_ok=True)
    audio, peer_wav, truth_path = paths(song, folder)
    base = song.base()
    base_audio = paths(base, folder)[0]
    _atomic(lambda p: _write_base(base, p), base_audio, expected_seconds(base))
    wav = base_audio
    seconds = expected_seconds(song)
    if song.tempo_factor != 1.0:
        wav = paths(dataclasses.replace(song, encoding="wav"), folder)[0]
        _atomic(lambda p: _stretch(song, base_audio, p), wav, seconds)
    if song.encoding != "wav":
        _atomic(lambda p: _encode(song, wav, p), audio, seconds)
        _atomic(lambda p: _decode_for_peers(audio, p), peer_wav, seconds)
    facts = truth(song)
    with open(truth_path, "w") as out:
        json.dump({"song": dataclasses.asdict(song), **facts}, out)
    return SongFiles(song, audio, peer_wav, facts, _duration(peer_wav) / 60.0)
