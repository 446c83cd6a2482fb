#!/usr/bin/env python3
"""Placeholder image generator (to be replaced by real drawings)."""
import struct, sys, os

def bmp24(w, h, px):
    row = (w * 3 + 3) & ~3
    data = b''.join(b''.join(struct.pack('BBB', *px(x, y)[::-1]) for x in range(w)).ljust(row, b'\0') for y in reversed(range(h)))
    return struct.pack('<2sIHHI', b'BM', 54 + len(data), 0, 0, 54) + struct.pack('<IiiHHIIiiII', 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0) + data

def ico(sizes, px):
    imgs = []
    for s in sizes:
        xor = b''.join(struct.pack('BBBB', *px(x, y, s)[2::-1], 255) for y in reversed(range(s)) for x in range(s))
        androw = ((s + 31) // 32) * 4
        img = struct.pack('<IiiHHIIiiII', 40, s, 2 * s, 1, 32, 0, len(xor) + androw * s, 0, 0, 0, 0) + xor + b'\0' * androw * s
        imgs.append((s, img))
    out = struct.pack('<HHH', 0, 1, len(imgs))
    off = 6 + 16 * len(imgs)
    for s, img in imgs:
        out += struct.pack('<BBBBHHII', s % 256, s % 256, 0, 0, 1, 32, len(img), off)
        off += len(img)
    return out + b''.join(i for _, i in imgs)

out = sys.argv[1]
os.makedirs(out, exist_ok=True)
for n in ['app', 'user', 'user_disabled', 'group', 'lockout', 'password', 'remote']:
    open(os.path.join(out, n + '.ico'), 'wb').write(ico([16, 32, 48], lambda x, y, s: (40, 90, 200)))
for n in ['user_add', 'user_delete', 'user_settings', 'group_add', 'group_delete', 'group_settings', 'remote', 'view_all', 'view_users', 'view_groups', 'help']:
    open(os.path.join(out, 'tb_' + n + '.bmp'), 'wb').write(bmp24(16, 16, lambda x, y: (40, 90, 200)))
