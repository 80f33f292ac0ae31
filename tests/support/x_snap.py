#!/usr/bin/env python3
"""Writes what the screen shows where an X window is (whatever covers it
shows too) as a binary PPM file.

    x_snap.py WINDOW_ID OUT.ppm     (DISPLAY names the server)
"""
import ctypes
import sys
from ctypes import POINTER, Structure, byref, c_char_p, c_int, c_uint, c_ulong, c_void_p

Z_PIXMAP = 2


class XWindowAttributes(Structure):
    _fields_ = [("x", c_int), ("y", c_int), ("width", c_int), ("height", c_int),
                ("border_width", c_int), ("depth", c_int), ("visual", c_void_p),
                ("root", c_ulong), ("pad", c_ulong * 32)]


class XImage(Structure):
    _fields_ = [("width", c_int), ("height", c_int), ("xoffset", c_int), ("format", c_int),
                ("data", c_void_p), ("byte_order", c_int), ("bitmap_unit", c_int),
                ("bitmap_bit_order", c_int), ("bitmap_pad", c_int), ("depth", c_int),
                ("bytes_per_line", c_int), ("bits_per_pixel", c_int)]


def main():
    window = int(sys.argv[1], 0)
    x = ctypes.CDLL("libX11.so.6")
    x.XOpenDisplay.restype = c_void_p
    x.XOpenDisplay.argtypes = [c_char_p]
    x.XGetWindowAttributes.argtypes = [c_void_p, c_ulong, POINTER(XWindowAttributes)]
    x.XTranslateCoordinates.argtypes = [c_void_p, c_ulong, c_ulong, c_int, c_int,
                                        POINTER(c_int), POINTER(c_int), POINTER(c_ulong)]
    x.XGetImage.restype = POINTER(XImage)
    x.XGetImage.argtypes = [c_void_p, c_ulong, c_int, c_int, c_uint, c_uint, c_ulong, c_int]
    x.XCloseDisplay.argtypes = [c_void_p]
    display = x.XOpenDisplay(None)
    if not display:
        sys.exit("x_snap: cannot open the display")
    attrs = XWindowAttributes()
    if not x.XGetWindowAttributes(display, window, byref(attrs)):
        sys.exit("x_snap: no such window")
    rx, ry, child = c_int(), c_int(), c_ulong()
    x.XTranslateCoordinates(display, window, attrs.root, 0, 0, byref(rx), byref(ry), byref(child))
    img = x.XGetImage(display, attrs.root, rx.value, ry.value, attrs.width, attrs.height,
                      0xFFFFFFFF, Z_PIXMAP)
    if not img or img.contents.bits_per_pixel != 32:
        sys.exit("x_snap: no 32-bit image of the window")
    im = img.contents
    raw = ctypes.string_at(im.data, im.bytes_per_line * im.height)
    pixels = b"".join(raw[r * im.bytes_per_line:r * im.bytes_per_line + im.width * 4]
                      for r in range(im.height))
    rgb = bytearray(im.width * im.height * 3)
    rgb[0::3], rgb[1::3], rgb[2::3] = pixels[2::4], pixels[1::4], pixels[0::4]  # B, G, R, pad
    with open(sys.argv[2], "wb") as out:
        out.write(b"P6\n%d %d\n255\n" % (im.width, im.height))
        out.write(rgb)
    x.XCloseDisplay(display)


if __name__ == "__main__":
    main()
