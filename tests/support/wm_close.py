#!/usr/bin/env python3
"""Closes an X window the way a window manager does when the user clicks its
close button: sends it the WM_PROTOCOLS client message WM_DELETE_WINDOW.

    wm_close.py WINDOW_ID     (DISPLAY names the server)
"""
import ctypes
import sys
from ctypes import c_char_p, c_int, c_long, c_ulong, c_void_p

CLIENT_MESSAGE = 33


class ClientMessageEvent(ctypes.Structure):
    _fields_ = [("type", c_int), ("serial", c_ulong), ("send_event", c_int),
                ("display", c_void_p), ("window", c_ulong), ("message_type", c_ulong),
                ("format", c_int), ("data", c_long * 5)]


class XEvent(ctypes.Union):
    _fields_ = [("xclient", ClientMessageEvent), ("pad", c_long * 24)]


def main():
    window = int(sys.argv[1], 0)
    x = ctypes.CDLL("libX11.so.6")
    x.XOpenDisplay.restype = c_void_p
    x.XOpenDisplay.argtypes = [c_char_p]
    x.XInternAtom.restype = c_ulong
    x.XInternAtom.argtypes = [c_void_p, c_char_p, c_int]
    x.XSendEvent.argtypes = [c_void_p, c_ulong, c_int, c_long, ctypes.POINTER(XEvent)]
    x.XFlush.argtypes = [c_void_p]
    x.XCloseDisplay.argtypes = [c_void_p]
    display = x.XOpenDisplay(None)
    if not display:
        sys.exit("wm_close: cannot open the display")
    event = XEvent()
    event.xclient.type = CLIENT_MESSAGE
    event.xclient.window = window
    event.xclient.message_type = x.XInternAtom(display, b"WM_PROTOCOLS", 0)
    event.xclient.format = 32
    event.xclient.data[0] = x.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
    event.xclient.data[1] = 0  # CurrentTime
    if not x.XSendEvent(display, window, 0, 0, ctypes.byref(event)):
        sys.exit("wm_close: the event was not sent")
    x.XFlush(display)
    x.XCloseDisplay(display)


if __name__ == "__main__":
    main()
