#!/usr/bin/perl
# Draws the relay's icon, a serial connector, from the picture below and
# writes it as a Windows .ico with a 16x16 and a 32x32 image (32-bit colour
# with alpha). The picture is the icon's source; the .ico is made at build
# time.
#
#   perl make-icon.pl OUTPUT.ico
use strict;
use warnings;

my @picture = (
  '................',
  '.bbbbbbbbbbbbbb.',
  '.bbbbbbbbbbbbbb.',
  '.bbbbbbbbbbbbbb.',
  '.bwwwwwwwwwwwwb.',
  '.bwwywywywywywb.',
  '.bwwwwwwwwwwwwb.',
  '.bbwwwywywywwbb.',
  '.bbwwwwwwwwwwbb.',
  '.bbbwwwwwwwwbbb.',
  '.bbbbbbbbbbbbbb.',
  '.bbbbbbkkbbbbbb.',
  '.bbbbbbkkbbbbbb.',
  '.bbbbbbkkbbbbbb.',
  '.bbbbbbbbbbbbbb.',
  '................',
);
# Blue, green, red, alpha, as a bitmap stores them.
my %colour = (
  '.' => [0, 0, 0, 0],
  'b' => [0x9c, 0x4e, 0x1f, 255],    # dark blue body
  'w' => [0xf4, 0xf4, 0xf4, 255],    # connector face
  'y' => [0x20, 0xc0, 0xf0, 255],    # gold pins
  'k' => [0x30, 0x30, 0x30, 255],    # cable
);

# One image of `size` pixels square: header, pixels bottom-up, AND mask.
sub image {
  my ($size) = @_;
  my $scale = $size / 16;
  my ($pixels, $mask) = ('', '');
  for (my $y = $size - 1; $y >= 0; $y--) {
    my $bits = '';
    for my $x (0 .. $size - 1) {
      my $c = substr($picture[int($y / $scale)], int($x / $scale), 1);
      $pixels .= pack('C4', @{ $colour{$c} });
      $bits .= $c eq '.' ? '1' : '0';
    }
    $bits .= '0' x ((32 - length($bits) % 32) % 32);    # rows of 4 bytes
    $mask .= pack('B*', $bits);
  }
  my $header = pack('VVVvvVVVVVV', 40, $size, 2 * $size, 1, 32, 0,
                    length($pixels) + length($mask), 0, 0, 0, 0);
  return $header . $pixels . $mask;
}

my @sizes = (16, 32);
my @images = map { image($_) } @sizes;
my $ico = pack('vvv', 0, 1, scalar @sizes);
my $offset = 6 + 16 * @sizes;
for my $i (0 .. $#sizes) {
  $ico .= pack('CCCCvvVV', $sizes[$i], $sizes[$i], 0, 0, 1, 32,
               length($images[$i]), $offset);
  $offset += length($images[$i]);
}
$ico .= join('', @images);

open(my $out, '>:raw', $ARGV[0]) or die "make-icon: cannot write $ARGV[0]: $!\n";
print $out $ico or die "make-icon: cannot write $ARGV[0]: $!\n";
close($out) or die "make-icon: cannot write $ARGV[0]: $!\n";
