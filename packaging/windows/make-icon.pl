#!/usr/bin/perl
# Draws the relay's icon, a serial connector, from the picture below and
# writes it as a Windows .ico with a 16x16 and a 32x32 image (32-bit colour
# with alpha), or, for the Linux desktop, as a scalable SVG of the same
# pixels. The picture is the icon's source; both files are made at build
# time.
#
#   perl make-icon.pl OUTPUT.ico
#   perl make-icon.pl OUTPUT.svg
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

# The picture as SVG: one rectangle per run of a colour along a row.
sub svg {
  my $svg = qq{<?xml version="1.0" encoding="UTF-8"?>\n}
          . qq{<svg xmlns="http://www.w3.org/2000/svg" width="48" height="48"}
          . qq{ viewBox="0 0 16 16" shape-rendering="crispEdges">\n};
  for my $y (0 .. 15) {
    my $row = $picture[$y];
    while ($row =~ /(([^.])\2*)/g) {
      my ($run, $c) = ($1, $2);
      my ($blue, $green, $red) = @{ $colour{$c} };
      $svg .= sprintf(qq{<rect x="%d" y="%d" width="%d" height="1"}
                      . qq{ fill="#%02x%02x%02x"/>\n},
                      pos($row) - length($run), $y, length($run),
                      $red, $green, $blue);
    }
  }
  return $svg . "</svg>\n";
}

sub write_file {
  my ($path, $bytes) = @_;
  open(my $out, '>:raw', $path) or die "make-icon: cannot write $path: $!\n";
  print $out $bytes or die "make-icon: cannot write $path: $!\n";
  close($out) or die "make-icon: cannot write $path: $!\n";
}

if ($ARGV[0] =~ /\.svg$/) {
  write_file($ARGV[0], svg());
  exit 0;
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

write_file($ARGV[0], $ico);
