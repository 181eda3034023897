#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets into fuzz/seeds/<target>/."""
import hashlib, hmac, os, struct, zlib

here = os.path.dirname(os.path.abspath(__file__))

def put(target, name, data):
    folder = os.path.join(here, 'seeds', target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(data)

def sjis(text):
    return text.encode('cp932')

def header(name, folder, is_folder, data=b'', times=(0, 0, 0)):
    h = bytearray(2434)
    struct.pack_into('<I', h, 0, 0x43524150)
    struct.pack_into('<I', h, 4, 0 if is_folder else 0x00020001)
    struct.pack_into('<Q', h, 8, 0 if is_folder else 0)
    struct.pack_into('<I', h, 16, 1 if is_folder else 0)
    struct.pack_into('<Q', h, 20, len(data))
    struct.pack_into('<QQQ', h, 28, *times)
    h[52:52 + len(name)] = name
    h[313:313 + len(folder)] = folder
    struct.pack_into('<I', h, 2362, 0 if is_folder else 1)
    struct.pack_into('<I', h, 2426, sum(data) & 0xFFFFFFFF)
    signed = sum(b - 256 if b > 127 else b for b in h[:2430])
    struct.pack_into('<I', h, 2430, signed & 0xFFFFFFFF)
    return bytes(h)

def blocks(content):
    out = b''
    for i in range(0, len(content), 32768):
        z = zlib.compress(content[i:i + 32768], 6)
        out += struct.pack('<H', len(z)) + z
    return out

text = (sjis('表計算の結果です。\r\n') * 3000)[:40000]
archive = (header(sjis('表.txt'), b'', False, blocks(text), (1, 2, 3)) +
           header(sjis('空'), sjis('データ'), True) +
           header(b'', sjis('データ\\空'), True) +
           header(b'empty.txt', sjis('データ'), False))
put('archive_reader', 'tree.arv', archive)
put('archive_reader', 'hostile.arv', header(b'..\\evil.txt', b'C:', False, blocks(b'x')))
# One block's stream each: text at zlib's level 6, noise in stored blocks,
# a stream that inflates to more than one chunk.
put('block_codec', 'text.z', zlib.compress(text[:32768], 6))
put('block_codec', 'noise.z', zlib.compress(hashlib.sha256(b'seed').digest() * 64, 0))
put('block_codec', 'long.z', zlib.compress(bytes(40000), 9))

script = open(os.path.join(here, '..', 'shellext', 'kyvoshell.rgs'), 'rb').read().replace(b'\n', b'\r\n')
put('registry_script', 'kyvoshell.rgs', script)
put('configuration', 'off.cfg', b' WRITELOG = 0\r\n')
put('configuration', 'comment.cfg', b'# writelog=0\r\n')
put('command_line', 'switch.txt', sjis('/crpmode=1 "C:\\表\\a.txt" "C:\\b dir"'))
put('command_line', 'plain.txt', sjis('  "C:\\files\\ソ.crpt.ex_"  '))
put('option_text', 'selection.txt', sjis('"C:\\表\\a.txt" "C:\\dir" C:\\"x y"\\z "unclosed'))
trailer = struct.pack('<Q', 112) + struct.pack('<Q', 100) + struct.pack('<I', 0xFF00AA55)
put('payload_trailer', 'trailer.bin', trailer)
put('container_header', 'zeros.bin', bytes(1034))

fields = (b'KYVOMAR CRYPT 2\n' + struct.pack('<II', 1, 600000) + bytes(range(0xA0, 0xB0)) +
          struct.pack('<IQ', 65536, 70000))
mac_key = bytes([1, 2, 3]) + bytes(29)  # the target's MAC key
header2 = fields + hmac.new(mac_key, fields, hashlib.sha256).digest()
put('container_format2', 'header.bin', header2)
put('container_format2', 'header-and-chunk.bin', header2 + bytes(range(40)) + bytes(16))
