#!/bin/sh
# Builds a real EPWING book from Debian's EDICT dictionary with FreePWING, and
# copies of it under the file-name spellings found on real discs.
#
#   tests/realbook/build-book.sh OUTDIR [--entries N | --all] [--surgery BIN]
#
#   --entries N   use the first N entries of EDICT (default 3000)
#   --all         use the whole dictionary (about 267000 entries; slow)
#   --surgery BIN also derive the variants with the byte-surgery tool BIN
#                 (tolvex-realbook-surgery, built from tests/realbook/)
#   EDICT=PATH    environment: the EDICT file (default /usr/share/edict/edict)
#
# Output under OUTDIR:
#   src/              FreePWING work area: generated fonts, pictures, sounds,
#                     the EDICT excerpt, the Makefile and FreePWING's work files
#   epwing/           the book as FreePWING links it, upper-case names:
#                     CATALOGS, EDICT/DATA/HONMON, EDICT/GAIJI/GAI16H, GAI16F
#   lower/            the same files with lower-case names (catalogs,
#                     edict/data/honmon, edict/gaiji/gai16h, gai16f)
#   iso9660/          the same with ISO 9660 version suffixes (CATALOGS;1, ...)
#   v2/, v2-z1/, v2-z2/, eb/   the derived variants (with --surgery; see
#                     surgery.cpp for how each one is made)
#   BOOK.OK           written last; holds the options the book was built with
#
# Needs: fpwmake (Debian freepwing), perl, GNU make, and the EDICT file.
set -eu

usage() {
  echo "usage: $0 OUTDIR [--entries N | --all] [--surgery BIN]" >&2
  exit 2
}

[ $# -ge 1 ] || usage
OUT=$1
shift
ENTRIES=3000
SURGERY=
while [ $# -gt 0 ]; do
  case $1 in
    --entries) [ $# -ge 2 ] || usage; ENTRIES=$2; shift 2 ;;
    --all) ENTRIES=all; shift ;;
    --surgery) [ $# -ge 2 ] || usage; SURGERY=$2; shift 2 ;;
    *) usage ;;
  esac
done
case $ENTRIES in
  all) ;;
  ''|*[!0-9]*) usage ;;
esac

HERE=$(cd "$(dirname "$0")" && pwd)
# The work below happens in OUTDIR/src: a relative tool path must not break.
case $SURGERY in
  ''|/*) ;;
  *) SURGERY=$(pwd)/$SURGERY ;;
esac
EDICT=${EDICT:-/usr/share/edict/edict}
command -v fpwmake >/dev/null 2>&1 || { echo "$0: fpwmake not found (package freepwing)" >&2; exit 3; }
[ -r "$EDICT" ] || { echo "$0: $EDICT not readable (package edict)" >&2; exit 3; }

mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)
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

# External characters, pictures and sounds, made here so that no binary has
# to live in the repository.  Half-width characters are 8x16 dots, full-width
# ones 16x16 (the one size FreePWING requires); the pictures are small 24-bit
# BMPs; the sounds are short PCM tones, one 8-bit 8 kHz and one 16-bit 11 kHz.
perl - <<'EOF'
use strict;
use warnings;

sub xbm {
    my ($file, $w, $h, $f) = @_;
    my @bytes;
    for my $y (0 .. $h - 1) {
        for my $bx (0 .. $w / 8 - 1) {
            my $b = 0;
            for my $i (0 .. 7) {
                $b |= 1 << $i if $f->($bx * 8 + $i, $y);    # XBM: LSB first
            }
            push @bytes, sprintf('0x%02x', $b);
        }
    }
    open(my $o, '>', $file) or die "$file: $!";
    (my $n = $file) =~ s/\.xbm$//;
    print $o "#define ${n}_width $w\n#define ${n}_height $h\n";
    print $o "static unsigned char ${n}_bits[] = {\n   ", join(', ', @bytes), "};\n";
    close($o);
}

xbm('hbar.xbm', 8, 16, sub { my ($x, $y) = @_; $x == 3 || $x == 4 });
xbm('hdot.xbm', 8, 16, sub { my ($x, $y) = @_; $y >= 6 && $y <= 9 && $x >= 2 && $x <= 5 });
xbm('fbox.xbm', 16, 16, sub { my ($x, $y) = @_; $x == 1 || $x == 14 || $y == 1 || $y == 14 });
xbm('fcross.xbm', 16, 16, sub { my ($x, $y) = @_; $x == $y || $x == 15 - $y });
xbm('fring.xbm', 16, 16, sub { my ($x, $y) = @_; my $d = ($x - 7.5) ** 2 + ($y - 7.5) ** 2; $d >= 25 && $d <= 49 });

sub bmp {
    my ($file, $w, $h, $f) = @_;
    my $row = ($w * 3 + 3) & ~3;
    my $pixels = '';
    for my $y (reverse 0 .. $h - 1) {            # bottom-up rows
        my $r = '';
        for my $x (0 .. $w - 1) {
            my ($red, $green, $blue) = $f->($x, $y);
            $r .= pack('C3', $blue, $green, $red);
        }
        $pixels .= $r . ("\0" x ($row - length($r)));
    }
    my $data = pack('a2Vv2V', 'BM', 54 + length($pixels), 0, 0, 54)
        . pack('V3v2V6', 40, $w, $h, 1, 24, 0, length($pixels), 2835, 2835, 0, 0)
        . $pixels;
    open(my $o, '>:raw', $file) or die "$file: $!";
    print $o $data;
    close($o);
}

bmp('sunset.bmp', 32, 24, sub { my ($x, $y) = @_; (255, 8 * $y, 40) });
bmp('sea.bmp', 48, 32, sub { my ($x, $y) = @_; (0, 4 * $x, 255 - 6 * $y) });
bmp('check.bmp', 40, 40, sub { my ($x, $y) = @_; ((($x >> 3) + ($y >> 3)) & 1) ? (250, 250, 250) : (20, 90, 20) });

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

cat > halfchar.txt <<'EOF'
hbar	hbar.xbm
hdot	hdot.xbm
EOF
cat > fullchar.txt <<'EOF'
fbox	fbox.xbm
fcross	fcross.xbm
fring	fring.xbm
EOF
cat > cgraphs.txt <<'EOF'
sunset	sunset.bmp
sea	sea.bmp
check	check.bmp
EOF
cat > sounds.txt <<'EOF'
chime	chime.wav
beep	beep.wav
EOF
# The parser reads this list to decorate entries with the assets above.
{
  sed 's/\t.*//; s/^/half /' halfchar.txt
  sed 's/\t.*//; s/^/full /' fullchar.txt
  sed 's/\t.*//; s/^/cgraph /' cgraphs.txt
  sed 's/\t.*//; s/^/sound /' sounds.txt
} > assets.txt

# Catalog source for FreePWING's catdump: one EPWING V1 subbook "EDICT" with
# a JIS X 0208 title and both font files.
printf '%s\n' \
  '[Catalog]' \
  'FileName   = catalogs' \
  'Type       = EPWING1' \
  'Books      = 1' \
  '' \
  '[Book]' \
  'Title      = "＠TITLE＠"' \
  'BookType   = 6001' \
  'Directory  = "EDICT"' \
  'ZenGaiji   = "GAI16F"' \
  'HanGaiji   = "GAI16H"' > catalogs.in
# The title in EUC-JP: "ＥＤＩＣＴ　和英辞典" (EDICT Japanese-English).
perl -e 'print pack("H*", "a3c5a3c4a3c9a3c3a3d4a1a1cfc2b1d1bcadc5b5")' > title.euc
perl -pe 'BEGIN { open(my $t, "<", "title.euc") or die; local $/; $T = <$t>; }
          s/"[^"]*TITLE[^"]*"/"$T"/' catalogs.in > catalogs.txt

cat > Makefile <<EOF
FPWPARSER = $HERE/fpwedict
FPWPARSERFLAGS = edict.txt assets.txt
HALFCHARS = halfchar.txt
FULLCHARS = fullchar.txt
CGRAPHS = cgraphs.txt
SOUNDS = sounds.txt
DIR = edict
include fpwutils.mk
EOF

fpwmake > fpwmake.log 2>&1 || { cat fpwmake.log >&2; echo "$0: fpwmake failed" >&2; exit 1; }
fpwmake catalogs >> fpwmake.log 2>&1 || { cat fpwmake.log >&2; echo "$0: fpwmake catalogs failed" >&2; exit 1; }
grep '^fpwedict:' fpwmake.log || true

for f in honmon catalogs gai16h gai16f; do
  [ -s "$f" ] || { echo "$0: FreePWING made no $f" >&2; exit 1; }
done

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

if [ -n "$SURGERY" ]; then
  "$SURGERY" "$OUT/epwing" "$OUT"
fi

echo "entries=$ENTRIES surgery=${SURGERY:+yes}" > "$OUT/BOOK.OK"
echo "book: $OUT/epwing/CATALOGS"
