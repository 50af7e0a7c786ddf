#!/usr/bin/python3
"""The mouse pointer as the X display shows it (XFixes), for the window tests: Wine draws each
Windows pointer as an X cursor, and another Windows process cannot read a program's pointer."""

import ctypes
import ctypes.util


class _CursorImage(ctypes.Structure):
    _fields_ = [("x", ctypes.c_short), ("y", ctypes.c_short),
                ("width", ctypes.c_ushort), ("height", ctypes.c_ushort),
                ("xhot", ctypes.c_ushort), ("yhot", ctypes.c_ushort),
                ("cursor_serial", ctypes.c_ulong), ("pixels", ctypes.POINTER(ctypes.c_ulong)),
                ("atom", ctypes.c_ulong), ("name", ctypes.c_char_p)]


def pointer_picture(display):
    """The pointer shown now on the display (":5"), as its size and hot spot: the hourglass is
    animated, so its pixels change from one moment to the next, but not its hot spot, which is
    in its middle where the arrow's is at its tip."""
    x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
    xfixes = ctypes.CDLL(ctypes.util.find_library("Xfixes") or "libXfixes.so.3")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    x11.XFree.argtypes = [ctypes.c_void_p]
    xfixes.XFixesGetCursorImage.restype = ctypes.POINTER(_CursorImage)
    xfixes.XFixesGetCursorImage.argtypes = [ctypes.c_void_p]
    connection = x11.XOpenDisplay(display.encode())
    if not connection:
        raise RuntimeError("cannot open the display " + display)
    try:
        image = xfixes.XFixesGetCursorImage(connection)
        if not image:
            raise RuntimeError("no pointer image")
        c = image.contents
        picture = (c.width, c.height, c.xhot, c.yhot)
        x11.XFree(image)
        return picture
    finally:
        x11.XCloseDisplay(connection)
