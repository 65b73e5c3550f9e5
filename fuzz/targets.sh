# The committed seeds and tokens of each fuzz target (fuzz/README.md), for scripts/fuzz,
# fuzz/cost.sh and fuzz/queue.sh. Source it, then `fuzz_extra TARGET` fills the array
# `extra` with the target's -dict option and seed folders.
fuzz_extra() {
  extra=()
  case "$1" in
    media_swf_fuzzer|media_extract_walk_fuzzer) extra=(-dict=fuzz/media/swf.dict fuzz/media/seeds/movies) ;;
    media_identify_fuzzer) extra=(-dict=fuzz/media/swf.dict fuzz/media/seeds/identify) ;;
    media_decompress_fuzzer) extra=(-dict=fuzz/media/swf.dict fuzz/media/seeds/decompress) ;;
    media_projector_fuzzer|media_pe_version_fuzzer) extra=(-dict=fuzz/media/swf.dict fuzz/media/seeds/projectors) ;;
    media_flv_fuzzer) extra=(-dict=fuzz/media/swf.dict fuzz/media/seeds/videos) ;;
    fuzz_playlist_file) extra=(-dict=fuzz/player/playlist.dict fuzz/player/playlist_seeds) ;;
    fuzz_command_line) extra=(fuzz/core/seeds/command_line) ;;
    fuzz_language_lookup) extra=(fuzz/core/seeds/language) ;;
    fuzz_options_file) extra=(fuzz/core/seeds/options) ;;
    fuzz_skin_file) extra=(-dict=fuzz/ui/skin.dict fuzz/ui/seeds) ;;
    flash_action_fuzzer) extra=(-dict=fuzz/flash/action.dict fuzz/flash/seeds/action) ;;
    flash_abc_fuzzer) extra=(fuzz/flash/seeds/abc) ;;
    flash_movie_fuzzer) extra=(fuzz/flash/seeds/movie) ;;
    flash_shape_fuzzer) extra=(fuzz/flash/seeds/shape) ;;
    flash_adpcm_fuzzer) extra=(fuzz/flash/seeds/adpcm) ;;
    flash_pixel_bender_fuzzer) extra=(fuzz/flash/seeds/pixel_bender) ;;
    flash_h263_fuzzer) extra=(fuzz/flash/seeds/h263) ;;
    flash_data_fuzzer) extra=(fuzz/flash/seeds/data) ;;
  esac
}

# The executable of a built target, or nothing.
fuzz_exe() {
  find build-fuzz/fuzz -type f -name "$1" -perm -u+x | head -1
}

# Leak reports of system libraries are suppressed (fuzz/lsan.supp).
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/fuzz/lsan.supp}
