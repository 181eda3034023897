#!/usr/bin/env python3
"""Known answers of the second container format, computed apart from the
program: hashlib's PBKDF2, hmac and the AES-GCM of the `cryptography` package
(Debian: python3-cryptography). The printed values are pasted into
container_format2_test.cpp (keys, header, one chunk) and
container_stream_test.cpp (whole containers); run this again to check
them. Nothing in the build or the tests runs it.
"""
import hashlib
import hmac
import struct

from cryptography.hazmat.primitives.ciphers.aead import AESGCM

MAGIC = b'KYVOMAR CRYPT 2\n'
CHUNK = 65536
PASSWORD = 'パスワード表'.encode('cp932')  # 表 ends in 0x5C
LONG_PASSWORD = bytes(0x41 + i % 26 for i in range(100))  # longer than SHA-256's block: hashed first
SALT = bytes(range(0xA0, 0xB0))


def keys(password, salt, iterations):
    master = hashlib.pbkdf2_hmac('sha256', password, salt, iterations, 32)
    enc = hmac.new(master, b'kyvomar enc', hashlib.sha256).digest()
    mac = hmac.new(master, b'kyvomar mac', hashlib.sha256).digest()
    return master, enc, mac


def header(salt, iterations, n, mac_key):
    fields = MAGIC + struct.pack('<II', 1, iterations) + salt + struct.pack('<IQ', CHUNK, n)
    return fields + hmac.new(mac_key, fields, hashlib.sha256).digest()


def nonce(index, last):
    return struct.pack('<QI', index, 1 if last else 0)


def container(password, salt, iterations, archive):
    _, enc, mac = keys(password, salt, iterations)
    n = len(archive)
    out = header(salt, iterations, n, mac)
    gcm = AESGCM(enc)
    last = n // CHUNK  # the last chunk holds n % CHUNK bytes, none when n is a multiple
    for index in range(last + 1):
        out += gcm.encrypt(nonce(index, index == last), archive[index * CHUNK:(index + 1) * CHUNK], None)
    return out


def pattern(size):  # the tests' archive contents
    return bytes(i % 251 for i in range(size))


def main():
    print('== keys, 1000 iterations')
    _, enc, mac = keys(PASSWORD, SALT, 1000)
    print('password', PASSWORD.hex())
    print('enc     ', enc.hex())
    print('mac     ', mac.hex())
    _, enc_long, mac_long = keys(LONG_PASSWORD, SALT, 1000)
    print('100-byte password A..Z A..Z ...: enc', enc_long.hex(), 'mac', mac_long.hex())
    print('header n=70000', header(SALT, 1000, 70000, mac).hex())
    chunk = AESGCM(enc).encrypt(nonce(3, True), pattern(40), None)
    print('chunk index 3 last, 40 pattern bytes', chunk.hex())
    print('== containers, 100000 iterations')
    for n in (70000, 0, 65536):
        c = container(PASSWORD, SALT, 100000, pattern(n))
        print('n=%d size=%d sha256=%s' % (n, len(c), hashlib.sha256(c).hexdigest()))
        print('  header', c[:84].hex())


if __name__ == '__main__':
    main()
