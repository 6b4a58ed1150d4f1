#!/usr/bin/env python3
"""brAttachFiles called through ctypes with the destination as two 32-bit
integers, as its table documents it: a node, a point and a node of another
zone, each checked in its flow file.

usage: attach_words.py LIBRARY"""
import ctypes
import os
import sys
import tempfile


def word(low, high):
    return low | (high << 16)


def main():
    lib = ctypes.CDLL(sys.argv[1])
    for name, args in {
        "brSetMainAddr": [ctypes.c_char_p],
        "brInitOutbound": [ctypes.c_char_p] * 3,
        "brSetOutboundBsy": [ctypes.c_char_p, ctypes.c_uint8, ctypes.c_uint8],
        "brAttachFiles": [ctypes.c_uint32, ctypes.c_uint32, ctypes.POINTER(ctypes.c_char_p),
                          ctypes.c_int32, ctypes.c_uint8, ctypes.c_uint8, ctypes.c_uint8],
    }.items():
        fn = getattr(lib, name)
        fn.argtypes = args
        fn.restype = ctypes.c_uint8
    lib.brGetLastError.restype = ctypes.c_char_p

    failures = []
    with tempfile.TemporaryDirectory() as work:
        out = os.path.join(work, "out")
        attached = os.path.join(work, "nodelist.zip")
        with open(attached, "wb") as f:
            f.write(b"data")
        assert lib.brSetMainAddr(b"2:5020/100")
        assert lib.brInitOutbound(None, out.encode(), None)
        assert lib.brSetOutboundBsy(None, 1, 1)
        files = (ctypes.c_char_p * 1)(attached.encode())
        cases = [
            ("2:5020/1234", word(2, 5020), word(1234, 0), "out/139c04d2.flo"),
            ("2:5020/1234.5", word(2, 5020), word(1234, 5), "out/139c04d2.pnt/00000005.flo"),
            ("3:100/1", word(3, 100), word(1, 0), "out.003/00640001.flo"),
        ]
        for addr, zone_net, node_point, flow in cases:
            if lib.brAttachFiles(zone_net, node_point, files, 1, 3, 0, 0) != 1:
                failures.append("%s: %s" % (addr, lib.brGetLastError().decode()))
                continue
            path = os.path.join(work, flow)
            got = open(path, "rb").read() if os.path.exists(path) else None
            if got != attached.encode() + b"\r\n":
                failures.append("%s: %s holds %r" % (addr, flow, got))
        lib.brFreeOutbound()
    for f in failures:
        print("FAILED:", f)
    print("%d of %d attaches right" % (len(cases) - len(failures), len(cases)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
