#!/usr/bin/env bash
# One small exFAT volume exactly as mkfs.exfat writes it (boot region, FAT,
# allocation bitmap, up-case table, a root with a label entry), for the fuzz
# seed corpus; the seeds built in code carry files and folders. Skipped
# quietly when mkfs.exfat is missing.
#
#   make_real_exfat_seed.sh OUT_IMAGE
set -euo pipefail
command -v mkfs.exfat >/dev/null || exit 0
rm -f "$1"
truncate -s 256K "$1"
mkfs.exfat -c 512 -b 4096 -L SEEDVOL "$1" >/dev/null 2>&1
