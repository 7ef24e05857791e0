#!/usr/bin/env bash
# Exits 0 when this machine runs 32-bit x86 programs, found by running one: a
# 96-byte static i386 program that exits with status 42. A kernel built
# without IA32 support refuses it ("Exec format error"), whatever the
# machine's architecture is called.
dir=$(mktemp -d) || exit 1
trap 'rm -rf "$dir"' EXIT
# ELF header; one loadable segment; mov ebx,42; mov eax,1 (exit); int 0x80.
printf '%b' '\x7fELF\x01\x01\x01\0\0\0\0\0\0\0\0\0\x02\0\x03\0\x01\0\0\0\x54\x80\x04\x08\x34\0\0\0\0\0\0\0\0\0\0\0\x34\0\x20\0\x01\0\0\0\0\0\0\0' \
  '\x01\0\0\0\0\0\0\0\0\x80\x04\x08\0\x80\x04\x08\x60\0\0\0\x60\0\0\0\x05\0\0\0\0\x10\0\0' \
  '\xbb\x2a\0\0\0\xb8\x01\0\0\0\xcd\x80' >"$dir/probe" && chmod 755 "$dir/probe" || exit 1
"$dir/probe" 2>/dev/null
[ $? -eq 42 ]
