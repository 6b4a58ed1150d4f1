#!/usr/bin/env python3
"""far2l's side of an installed sendrel.far-plug-mb, as little as shows it works:
the plug-in is loaded, given far2l's startup record (its multibyte layout, an
empty root key), and its plug-in menu entry is opened. Every message box it
shows is printed, one line per box, as message numbers: the start-up warning
(27) when it cannot bind its library, the not-configured warning (22, 23)
when it can."""
import ctypes
import sys

MODULE_NUMBER, MESSAGE, GET_MSG, RECORD_SIZE = 4100, 4132, 4140, 4324
GetMsg = ctypes.CFUNCTYPE(ctypes.c_void_p, ctypes.c_ssize_t, ctypes.c_int)
Message = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_ssize_t, ctypes.c_uint32, ctypes.c_char_p,
                           ctypes.POINTER(ctypes.c_char_p), ctypes.c_int, ctypes.c_int)
texts = {n: ctypes.create_string_buffer(b"#%d" % n) for n in range(40)}


@GetMsg
def get_msg(_module, n):
    return ctypes.addressof(texts[n]) if n in texts else None


@Message
def message(_module, _flags, _help, items, count, _buttons):
    print(" ".join(items[i].decode() for i in range(count)))
    return 0


plugin = ctypes.CDLL(sys.argv[1])
record = ctypes.create_string_buffer(RECORD_SIZE)
ctypes.c_int.from_buffer(record, 0).value = RECORD_SIZE
ctypes.c_ssize_t.from_buffer(record, MODULE_NUMBER).value = 7
ctypes.c_void_p.from_buffer(record, MESSAGE).value = ctypes.cast(message, ctypes.c_void_p).value
ctypes.c_void_p.from_buffer(record, GET_MSG).value = ctypes.cast(get_msg, ctypes.c_void_p).value
plugin.SetStartupInfo(record)
plugin.OpenPlugin.restype = ctypes.c_void_p
plugin.OpenPlugin(1, ctypes.c_ssize_t(0))
plugin.ExitFAR()
