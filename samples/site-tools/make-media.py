#!/usr/bin/python3
"""Makes the audio files and the picture of the sample site (samples/site).

    /usr/bin/python3 samples/site-tools/make-media.py [SITE_DIR]

Needs Debian's lame, sox, ffmpeg, id3v2 and eyeD3. Every sound is a few seconds of a quiet
sine tone at a low bitrate, so the whole site stays small. The pages and playlists are
written by hand; only the media come from here. The files are checked in: this script is
for making them again, the tests do not run it.
"""

import os
import shutil
import struct
import subprocess
import sys
import tempfile

SITE = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                       os.path.join(os.path.dirname(__file__), '..', 'site'))

# A 1x1 transparent GIF: the one picture of the site (backgrounds, the image map).
DOT_GIF = (b'GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff'
           b'!\xf9\x04\x01\x00\x00\x00\x00,\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02D\x01\x00;')


def run(*args):
    # eyeD3 reports what it wrote even when asked to be quiet.
    subprocess.run(args, check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)


def out(rel):
    path = os.path.join(SITE, rel)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    return path


def tone(tmp, name, freq, seconds, rate=44100, bits=16):
    """A quiet sine with soft edges; no dither, so the same input comes out every time."""
    path = os.path.join(tmp, name + '.wav')
    run('sox', '-D', '-n', '-r', str(rate), '-c', '1', '-b', str(bits), path,
        'synth', str(seconds), 'sine', str(freq), 'vol', '0.05', 'fade', '0.1', str(seconds), '0.1')
    return path


def lame(src, dest, *opts):
    run('lame', '--quiet', '-m', 'm', *opts, src, out(dest))


def text_frame_v22(frame_id, text):
    body = b'\x00' + text.encode('latin-1')
    return frame_id.encode('ascii') + struct.pack('>I', len(body))[1:] + body


def synchsafe(n):
    return bytes(((n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F))


def prepend_v22_tag(path, title, artist, padding=64):
    """An ID3 version 2.2 tag (three-letter ids TT2 and TP1, Latin-1), which the tools here
    no longer write."""
    frames = text_frame_v22('TT2', title) + text_frame_v22('TP1', artist) + bytes(padding)
    with open(path, 'rb') as f:
        audio = f.read()
    with open(path, 'wb') as f:
        f.write(b'ID3\x02\x00\x00' + synchsafe(len(frames)) + frames + audio)


def cover_jpeg(tmp):
    path = os.path.join(tmp, 'cover.jpg')
    run('ffmpeg', '-v', 'error', '-y', '-f', 'lavfi', '-i', 'color=c=0x405060:s=16x16',
        '-frames:v', '1', '-q:v', '10', '-fflags', '+bitexact', '-flags:v', '+bitexact', path)
    return path


def main():
    tmp = tempfile.mkdtemp(prefix='site-media.')
    try:
        # ID3v2.3, Latin-1 text (encoding 0), written by id3v2 (which pads the tag).
        src = tone(tmp, 'latin1', 440, 3)
        lame(src, 'music/latin1.mp3', '-b', '64')
        run('id3v2', '--id3v2-only', '-t', 'Quiet Morning', '-a', b'Caf\xe9 Trio',
            out('music/latin1.mp3'))

        # ID3v2.3, UTF-16 text with the byte order mark FF FE (encoding 1), written by eyeD3.
        src = tone(tmp, 'utf16', 330, 3)
        lame(src, 'music/utf16.mp3', '-b', '32', '--resample', '22.05')
        run('/usr/bin/eyeD3', '--quiet', '--to-v2.3', '--encoding', 'utf16',
            '-t', 'Slow River', '-a', 'Loopback Choir', out('music/utf16.mp3'))

        # ID3v2.2 (TT2, TP1), MPEG-1 at 32 kHz.
        src = tone(tmp, 'v22', 523, 3, rate=32000)
        lame(src, 'music/v22.mp3', '-b', '48')
        prepend_v22_tag(out('music/v22.mp3'), 'Old Tag', 'Version Two')

        # No tag at all.
        src = tone(tmp, 'notag', 392, 3)
        lame(src, 'music/notag.mp3', '-b', '56', '--resample', '22.05')

        # VBR: the first frame is the encoder's Xing frame.
        src = tone(tmp, 'vbr', 294, 4)
        lame(src, 'music/vbr.mp3', '-V', '9')

        # The encoder's own tag writer: title, artist and a cover picture, UTF-16 text, no
        # padding behind the tag (the picture's last bytes meet the first audio frame).
        src = tone(tmp, 'lametag', 349, 3)
        lame(src, 'music/lametag.mp3', '-b', '32', '--resample', '22.05', '--id3v2-utf16',
             '--tt', 'Evening Hum', '--ta', 'Quor Ensemble', '--ti', cover_jpeg(tmp))

        # The depth chain and the second server's files: short, untagged.
        for rel, freq in (('chain/level1.mp3', 220), ('chain/deep/level2.mp3', 247),
                          ('chain/deep/deeper/level3.mp3', 262),
                          ('chain/deep/deeper/deepest/level4.mp3', 277),
                          ('other/song.mp3', 311), ('other/away.mp3', 370)):
            src = tone(tmp, os.path.basename(rel), freq, 2)
            lame(src, rel, '-b', '32', '--resample', '22.05')

        # WAV: 8 kHz, 8 bits, mono.
        shutil.copyfile(tone(tmp, 'chime', 660, 2, rate=8000, bits=8), out('sounds/chime.wav'))

        # WMA (WMA version 2), 32 kbit/s.
        src = tone(tmp, 'wind', 196, 3, rate=22050)
        run('ffmpeg', '-v', 'error', '-y', '-fflags', '+bitexact', '-i', src, '-ac', '1',
            '-c:a', 'wmav2', '-b:a', '32k', '-flags:a', '+bitexact', '-map_metadata', '-1',
            out('sounds/wind.wma'))

        with open(out('img/dot.gif'), 'wb') as f:
            f.write(DOT_GIF)
    finally:
        shutil.rmtree(tmp)


if __name__ == '__main__':
    main()
