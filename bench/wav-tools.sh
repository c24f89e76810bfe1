# Helpers the benchmark scripts share for plain 44-byte-header PCM WAV files (sourced).

# Fields of the header, little-endian.
u32_at() { od -An -t u4 -j "$2" -N 4 "$1" | tr -d ' '; }
u16_at() { od -An -t u2 -j "$2" -N 2 "$1" | tr -d ' '; }
# Seconds of audio: data bytes / byte rate.
seconds_of() {
  awk -v b="$(u32_at "$1" 40)" -v r="$(u32_at "$1" 28)" 'BEGIN { printf "%.3f", b / r }'
}
# Four bytes, little-endian.
le32() { printf "$(printf '\\%03o\\%03o\\%03o\\%03o' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)))"; }
# repeat_wav IN TIMES OUT: the samples of IN TIMES over, under a header that says so.
repeat_wav() {
  local data=$(($(u32_at "$1" 40) * $2))
  {
    head -c 4 "$1"
    le32 $((data + 36))
    head -c 40 "$1" | tail -c 32
    le32 "$data"
    for ((i = 0; i < $2; i++)); do tail -c +45 "$1"; done
  } > "$3"
}
