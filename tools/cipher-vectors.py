#!/usr/bin/python3
"""Prints known vectors of the stored password form, computed independently of
the application with pycryptodome (Debian: python3-pycryptodome).

The application reads each 8-byte block as two little-endian 32-bit words,
while standard Blowfish reads them big-endian; swapping the bytes of every
4-byte word before and after the cipher gives the same result.
"""
import sys
from Cryptodome.Cipher import Blowfish

KEY = b"Vx4KpLr8QzNa2WmTs7HcYd9B"


def swap_words(data: bytes) -> bytes:
    return b"".join(data[i:i + 4][::-1] for i in range(0, len(data), 4))


def encipher(password: str) -> str:
    data = password.encode("utf-8")
    if not data:
        return ""
    data += b"\0" * (-len(data) % 8)
    cipher = Blowfish.new(KEY, Blowfish.MODE_ECB)
    return swap_words(cipher.encrypt(swap_words(data))).hex()


if __name__ == "__main__":
    for text in sys.argv[1:] or ["secret", "Passw0rd!", "exactly8", "a", "abcdefghi"]:
        print(f"{text!r}\t{encipher(text)}")
