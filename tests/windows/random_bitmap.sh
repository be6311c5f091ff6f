# Sourced by the Windows checks: random_bitmap WIDTH HEIGHT writes a 24-bit
# bottom-up bitmap of random pixels to standard output.
random_bitmap() {
  local width=$1 height=$2
  local row=$(((width * 3 + 3) / 4 * 4))
  local size=$((row * height))
  le32() {
    local value=$1 byte
    for byte in 0 8 16 24; do printf "\\x$(printf %02x $((value >> byte & 255)))"; done
  }
  printf 'BM'; le32 $((54 + size)); le32 0; le32 54
  le32 40; le32 "$width"; le32 "$height"; printf '\x01\x00\x18\x00'; le32 0; le32 "$size"
  le32 2835; le32 2835; le32 0; le32 0
  head -c "$size" /dev/urandom
}
