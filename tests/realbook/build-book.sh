#!/bin/sh
# Builds a real EPWING book from Debian's EDICT with FreePWING, copies under
# the file-name spellings of real discs, and other layouts by tolvex-mkbook.
#   tests/realbook/build-book.sh OUTDIR [--entries N (3000) | --all] [--mkbook BIN] [--reuse]
#   (EDICT=PATH, default /usr/share/edict/edict; --reuse keeps a book built
#   with the same options after every input)
# OUTDIR/: src/ (FreePWING's work area), epwing/ (as FreePWING links it:
# CATALOGS, EDICT/DATA/HONMON with text, graphics, sound; EDICT/GAIJI/GAI16H,
# GAI16F), lower/ (lower-case names), iso9660/ (";1" suffixes); with --mkbook
# v2/ (graphics in HONMONG, sound in HONMONS, references moved), v2-z1/ and
# v2-z2/ (as v2/, compressed with kind 1 or 2), eb/ (CATALOG, EDICT/START);
# BOOK.OK last, with the options. Exit 77 (skipped) without FreePWING or EDICT.
set -eu
me=build-book usage="OUTDIR [--entries N | --all] [--mkbook BIN] [--reuse]"
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/../lib.sh"
usage_unless [ $# -ge 1 ]
OUT=$1 ENTRIES=3000 MKBOOK= REUSE=no
shift
while [ $# -gt 0 ]; do
  case $1 in
    --entries) usage_unless [ $# -ge 2 ]; ENTRIES=$2; shift 2 ;;
    --all) ENTRIES=all; shift ;;
    --mkbook) usage_unless [ $# -ge 2 ]; MKBOOK=$(abs "$(dirname "$2")")/$(basename "$2"); shift 2 ;;
    --reuse) REUSE=yes; shift ;;
    *) usage_unless false ;;
  esac
done
case $ENTRIES in all) ;; '' | *[!0-9]*) usage_unless false ;; esac

EDICT=${EDICT:-/usr/share/edict/edict}
need fpwmake:freepwing
[ -r "$EDICT" ] || skip "edict ($EDICT) is missing"

mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)
STAMP="entries=$ENTRIES variants=${MKBOOK:+yes}"
if [ $REUSE = yes ] && [ -f "$OUT/BOOK.OK" ] && [ "$(cat "$OUT/BOOK.OK")" = "$STAMP" ] &&
   [ -z "$(find "$HERE/build-book.sh" "$HERE/fpwedict" $MKBOOK -newer "$OUT/BOOK.OK")" ]; then
  echo "reusing $OUT"
  exit 0
fi
rm -rf "$OUT/src" "$OUT/epwing" "$OUT/lower" "$OUT/iso9660" "$OUT/v2" \
  "$OUT/v2-z1" "$OUT/v2-z2" "$OUT/eb" "$OUT/BOOK.OK"
mkdir -p "$OUT/src"
cd "$OUT/src"

# The excerpt: EDICT's header line (the copyright notice) and N entries.
if [ "$ENTRIES" = all ]; then
  cp "$EDICT" edict.txt
else
  head -n "$((ENTRIES + 1))" "$EDICT" > edict.txt
fi

# The assets, made here so that no binary lives in the repository: XBM
# characters of 8x16 and 16x16 dots (16 rows, the lowest bit leftmost), a
# 24-bit BMP and two PCM tones (8-bit 8 kHz, 16-bit 11 kHz).
xbm() {  # NAME WIDTH ROW-BYTES...
  n=$1 w=$2
  shift 2
  printf '#define %s_width %s\n#define %s_height 16\nstatic unsigned char %s_bits[] = {\n   %s};\n' \
    "$n" "$w" "$n" "$n" "$*" > "$n.xbm"
}
# shellcheck disable=SC2046
xbm hbar 8 $(yes 0x18, | head -n 16)
side='0x02, 0x40,' top='0xff, 0xff,'
# shellcheck disable=SC2046,SC2086
xbm fbox 16 $side $top $(yes "$side" | head -n 12) $top $side
perl - <<'EOF'
use strict;
use warnings;

# 32x24 dots, 24-bit, rows bottom-up (96 bytes each: no padding), a gradient.
my $pixels = join('', map { pack('C3', 40, 8 * $_, 255) x 32 } reverse 0 .. 23);
open(my $b, '>:raw', 'sunset.bmp') or die "sunset.bmp: $!";
print $b pack('a2Vv2V', 'BM', 54 + length($pixels), 0, 0, 54),
    pack('V3v2V6', 40, 32, 24, 1, 24, 0, length($pixels), 2835, 2835, 0, 0), $pixels;
close($b);

sub wav {
    my ($file, $rate, $bits, $seconds, $hz) = @_;
    my $n = int($rate * $seconds);
    my $pcm = '';
    for my $i (0 .. $n - 1) {
        # Quiet enough that every page of sound still shrinks under the
        # compressed kinds, whose one-byte symbols alone cannot shrink noise.
        my $v = sin(2 * 3.14159265 * $hz * $i / $rate) * 0.2;
        $pcm .= $bits == 8 ? pack('C', int(128 + 127 * $v)) : pack('s<', int(32767 * $v));
    }
    my $align = $bits / 8;
    my $data = pack('a4Va4', 'RIFF', 36 + length($pcm), 'WAVE')
        . pack('a4VvvVVvv', 'fmt ', 16, 1, 1, $rate, $rate * $align, $align, $bits)
        . pack('a4V', 'data', length($pcm)) . $pcm;
    open(my $o, '>:raw', $file) or die "$file: $!";
    print $o $data;
    close($o);
}

wav('chime.wav', 8000, 8, 0.6, 660);
wav('beep.wav', 11025, 16, 0.4, 440);
EOF

printf 'hbar\thbar.xbm\n' > halfchar.txt
printf 'fbox\tfbox.xbm\n' > fullchar.txt
printf 'sunset\tsunset.bmp\n' > cgraphs.txt
printf 'chime\tchime.wav\nbeep\tbeep.wav\n' > sounds.txt

# Catalog source for FreePWING's catdump: one EPWING V1 subbook "EDICT" with
# a JIS X 0208 title, in EUC-JP "ＥＤＩＣＴ　和英辞典" (EDICT Japanese-English),
# and both font files.
printf '%s\n' \
  '[Catalog]' \
  'FileName   = catalogs' \
  'Type       = EPWING1' \
  'Books      = 1' \
  '' \
  '[Book]' \
  "Title      = \"$(perl -e 'print pack("H*", "a3c5a3c4a3c9a3c3a3d4a1a1cfc2b1d1bcadc5b5")')\"" \
  'BookType   = 6001' \
  'Directory  = "EDICT"' \
  'ZenGaiji   = "GAI16F"' \
  'HanGaiji   = "GAI16H"' > catalogs.txt

cat > Makefile <<EOF
FPWPARSER = $HERE/fpwedict
FPWPARSERFLAGS = edict.txt
HALFCHARS = halfchar.txt
FULLCHARS = fullchar.txt
CGRAPHS = cgraphs.txt
SOUNDS = sounds.txt
DIR = edict
include fpwutils.mk
EOF

{ fpwmake && fpwmake catalogs; } >fpwmake.log 2>&1 || { cat fpwmake.log >&2; die fpwmake; }
grep '^fpwedict:' fpwmake.log || true

for f in honmon catalogs gai16h gai16f; do [ -s "$f" ] || die "FreePWING made no $f"; done

# place SPELLING CATALOG DIR DATA GAIJI HONMON HALF FULL SUFFIX
place() {
  d=$OUT/$1
  mkdir -p "$d/$3/$4" "$d/$3/$5"
  cp catalogs "$d/$2$9"
  cp honmon "$d/$3/$4/$6$9"
  cp gai16h "$d/$3/$5/$7$9"
  cp gai16f "$d/$3/$5/$8$9"
}
place epwing CATALOGS EDICT DATA GAIJI HONMON GAI16H GAI16F ''
place lower catalogs edict data gaiji honmon gai16h gai16f ''
place iso9660 CATALOGS EDICT DATA GAIJI HONMON GAI16H GAI16F ';1'

if [ -n "$MKBOOK" ]; then
  from() { "$MKBOOK" --from "$OUT/epwing" "$@" > /dev/null; }
  from --separate-graphic --separate-sound "$OUT/v2"
  from --separate-graphic --separate-sound --text-kind 1 --sound-kind 1 "$OUT/v2-z1"
  from --separate-graphic --separate-sound --text-kind 2 --sound-kind 2 "$OUT/v2-z2"
  from --layout eb "$OUT/eb"
fi

echo "$STAMP" > "$OUT/BOOK.OK"
echo "book: $OUT/epwing/CATALOGS"
