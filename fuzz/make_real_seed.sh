#!/usr/bin/env bash
# One small FAT32 volume exactly as mkfs.fat writes it (boot sector, FSInfo,
# backup boot sector, FAT, a root with a label entry), for the fuzz seed
# corpus. mtools cannot add files to a FAT32 volume this small, so it stays
# empty; the seeds built in code carry files and folders. Skipped quietly
# when mkfs.fat is missing.
#
#   make_real_seed.sh OUT_IMAGE
set -euo pipefail
command -v mkfs.fat >/dev/null || exit 0
rm -f "$1"
mkfs.fat -F 32 -S 512 -s 1 -R 8 -f 1 -n SEEDVOL -i 5EED0032 -C "$1" 64 >/dev/null 2>&1
