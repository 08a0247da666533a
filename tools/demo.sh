#!/usr/bin/env bash
# The main job: install what the build needs, build Release, install the plug-in into the user's
# folders (~/.vst3, ~/.lv2, ~/.local/bin) and load each installed plug-in (the VST3, the stereo
# LV2 and the 7.1.4 LV2) in our console host with a demo signal. Any bundle that is missing or
# empty, or a plug-in that does not load as it should, fails the demo.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BRISALTO_BUILD_DIR:-$root/build}"
jobs="${BRISALTO_JOBS:-$(nproc)}"

"$root/tools/install-deps.sh"

# The same configuration as the test command's, so that both can share one build folder.
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBRISALTO_BUILD_TESTS=ON
cmake --build "$build" --parallel "$jobs" --target Brisalto_VST3 Brisalto_LV2 Brisalto_LV2_Wide Brisalto_Standalone \
    brisalto-host

# Fails unless every named file exists and is not empty.
require_files() {
    local what="$1" folder="$2"
    shift 2
    for file in "$@"; do
        if [ ! -s "$folder/$file" ]; then
            echo "demo: $what is incomplete: $folder/$file is missing or empty" >&2
            exit 1
        fi
    done
}
check_bundles() {
    require_files "the VST3" "$1" Contents/x86_64-linux/Brisalto.so Contents/Resources/BrisaltoHelp.pdf
    require_files "the stereo LV2" "$2" manifest.ttl dsp.ttl libBrisalto.so Resources/BrisaltoHelp.pdf
    require_files "the 7.1.4 LV2" "$3" manifest.ttl dsp.ttl Brisalto714.so Resources/BrisaltoHelp.pdf
}

artefacts="$build/Brisalto_artefacts/Release"
check_bundles "$artefacts/VST3/Brisalto.vst3" "$artefacts/LV2/Brisalto.lv2" "$artefacts/LV2/Brisalto714.lv2"
require_files "the Standalone" "$artefacts/Standalone" Brisalto Resources/BrisaltoHelp.pdf
vst3_dir="$HOME/.vst3"
lv2_dir="$HOME/.lv2"
bin_dir="$HOME/.local/bin"
mkdir -p "$vst3_dir" "$lv2_dir" "$bin_dir"

# Replace whole bundles so nothing of an older build stays behind.
rm -rf "$vst3_dir/Brisalto.vst3" "$lv2_dir/Brisalto.lv2" "$lv2_dir/Brisalto714.lv2"
cp -R "$artefacts/VST3/Brisalto.vst3" "$vst3_dir/"
cp -R "$artefacts/LV2/Brisalto.lv2" "$lv2_dir/"
cp -R "$artefacts/LV2/Brisalto714.lv2" "$lv2_dir/"
install -m 755 "$artefacts/Standalone/Brisalto" "$bin_dir/Brisalto"
# The Standalone finds its resources (the help document) in ../share/brisalto/Resources.
share_dir="$HOME/.local/share/brisalto"
mkdir -p "$share_dir"
rm -rf "$share_dir/Resources"
cp -R "$artefacts/Standalone/Resources" "$share_dir/"
check_bundles "$vst3_dir/Brisalto.vst3" "$lv2_dir/Brisalto.lv2" "$lv2_dir/Brisalto714.lv2"
require_files "the Standalone" "$HOME/.local" bin/Brisalto share/brisalto/Resources/BrisaltoHelp.pdf

echo
echo "Installed:"
echo "  VST3        $vst3_dir/Brisalto.vst3"
echo "  LV2         $lv2_dir/Brisalto.lv2 (stereo), $lv2_dir/Brisalto714.lv2 (7.1.4)"
echo "  Standalone  $bin_dir/Brisalto"

host="$build/tools/host/brisalto-host"
status=0
# format, installed bundle, the main bus channels it must load with
demo() {
    local format="$1" bundle="$2" channels="$3" output
    echo
    echo "=== $format: $bundle ==="
    if ! output=$("$host" "$format" "$bundle" --seconds 4); then
        printf '%s\n' "$output"
        echo "demo: $bundle did not load or play" >&2
        status=1
        return
    fi
    printf '%s\n' "$output"
    if ! grep -q "^Channels: *$channels in, $channels out" <<<"$output"; then
        echo "demo: $bundle did not load with $channels channels" >&2
        status=1
    fi
}
demo vst3 "$vst3_dir/Brisalto.vst3" 2
demo lv2 "$lv2_dir/Brisalto.lv2" 2
demo lv2 "$lv2_dir/Brisalto714.lv2" 12
exit "$status"
