"""The board API from Python ctypes: drive a pin, read it back, read a box."""
import ctypes
import sys

lib = ctypes.CDLL(sys.argv[1])
lib.orlik_sim_peek.restype = ctypes.c_uint32
lib.orlik_sim_peek.argtypes = [ctypes.c_uint32]
lib.orlik_sim_poke.argtypes = [ctypes.c_uint32, ctypes.c_uint32]
lib.orlik_sim_pin_level.argtypes = [ctypes.c_char, ctypes.c_int]
lib.orlik_sim_pin_mode.argtypes = [ctypes.c_char, ctypes.c_int]
lib.orlik_sim_drive_pin.argtypes = [ctypes.c_char, ctypes.c_int, ctypes.c_int]
lib.orlik_sim_message.argtypes = [ctypes.c_int, ctypes.c_char_p, ctypes.c_int, ctypes.c_char_p, ctypes.c_int]
lib.MessageBoxW.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_void_p, ctypes.c_uint]

GPIO = 0x7F008000
failures = 0
checks = 0


def check(what, got, want):
    global failures, checks
    checks += 1
    if got != want:
        failures += 1
        print(f"FAIL {what}: got {got!r}, want {want!r}")


lib.orlik_sim_reset()
lib.orlik_sim_poke(GPIO + 0x810, 0x1)  # L0 output
lib.orlik_sim_poke(GPIO + 0x818, 0x1)
check("L0 mode", lib.orlik_sim_pin_mode(b"L", 0), 1)
check("L0 level", lib.orlik_sim_pin_level(b"L", 0), 1)
lib.orlik_sim_drive_pin(b"L", 1, 1)
check("L1 driven", lib.orlik_sim_peek(GPIO + 0x818) & 3, 3)


def utf16(text):
    return ctypes.create_string_buffer(text.encode("utf-16-le") + b"\0\0")


lib.MessageBoxW(None, utf16("Cannot open Memery: \r\n"), utf16("ERROR"), 0)
caption = ctypes.create_string_buffer(16)
text = ctypes.create_string_buffer(64)
check("box", lib.orlik_sim_message(0, caption, 16, text, 64), 1)
check("caption", caption.value, b"ERROR")
check("text", text.value, b"Cannot open Memery: \r\n")

print(f"{checks - failures} passed, {failures} failed")
sys.exit(1 if failures else 0)
