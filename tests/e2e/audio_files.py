"""Reading back the audio files the program writes, with readers other than its own:
the WAVE header's sizes, libsndfile (through ctypes) and Python's aifc module."""

import ctypes
import ctypes.util
import struct
import warnings

with warnings.catch_warnings():
    warnings.simplefilter("ignore", DeprecationWarning)
    import aifc


def wave_sizes(path):
    """(file size, RIFF size, data size) of a WAVE file with the 44-byte header."""
    with open(path, "rb") as f:
        data = f.read()
    riff, = struct.unpack_from("<I", data, 4)
    size, = struct.unpack_from("<I", data, 40)
    return len(data), riff, size


class _Info(ctypes.Structure):
    _fields_ = [("frames", ctypes.c_int64), ("samplerate", ctypes.c_int),
                ("channels", ctypes.c_int), ("format", ctypes.c_int),
                ("sections", ctypes.c_int), ("seekable", ctypes.c_int)]


_sndfile = ctypes.CDLL(ctypes.util.find_library("sndfile"))
_sndfile.sf_open.restype = ctypes.c_void_p
_sndfile.sf_open.argtypes = [ctypes.c_char_p, ctypes.c_int, ctypes.POINTER(_Info)]
_sndfile.sf_get_string.restype = ctypes.c_char_p
_sndfile.sf_get_string.argtypes = [ctypes.c_void_p, ctypes.c_int]
_sndfile.sf_close.argtypes = [ctypes.c_void_p]
_SFM_READ = 0x10
_SF_STR_TITLE = 1
_SF_STR_COMMENT = 5


def sndfile_read(path):
    """What libsndfile reads: (frames, channels, title, comment); None when it refuses."""
    info = _Info()
    handle = _sndfile.sf_open(path.encode(), _SFM_READ, ctypes.byref(info))
    if not handle:
        return None
    title = _sndfile.sf_get_string(handle, _SF_STR_TITLE)
    comment = _sndfile.sf_get_string(handle, _SF_STR_COMMENT)
    _sndfile.sf_close(handle)
    return info.frames, info.channels, title, comment


def aifc_frames(path):
    """The frame count Python's aifc module reads, or None when it refuses the file."""
    try:
        with aifc.open(path, "rb") as f:
            return f.getnframes()
    except (aifc.Error, EOFError, struct.error):
        return None


def aiff_chunks(path):
    """The top-level chunks of an AIFF file: a list of (id, data)."""
    with open(path, "rb") as f:
        data = f.read()
    chunks = []
    at = 12
    while at + 8 <= len(data):
        kind = data[at:at + 4].decode("latin-1")
        size, = struct.unpack_from(">I", data, at + 4)
        chunks.append((kind, data[at + 8:at + 8 + size]))
        at += 8 + size + (size & 1)
    return chunks
