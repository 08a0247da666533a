#!/usr/bin/env bash
# The main job: install what the build needs, build Release, install the plug-in into the user's
# folders (~/.vst3, ~/.lv2, ~/.local/bin) and load the installed VST3 and LV2 in our console host
# with a demo signal.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BRISALTO_BUILD_DIR:-$root/build}"
jobs="${BRISALTO_JOBS:-$(nproc)}"

"$root/tools/install-deps.sh"

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBRISALTO_BUILD_TESTS=ON -DBRISALTO_BUILD_BENCH=OFF
cmake --build "$build" --parallel "$jobs" --target Brisalto_VST3 Brisalto_LV2 Brisalto_Standalone brisalto-host

artefacts="$build/Brisalto_artefacts/Release"
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

echo
echo "Installed:"
echo "  VST3        $vst3_dir/Brisalto.vst3"
echo "  LV2         $lv2_dir/Brisalto.lv2 (stereo), $lv2_dir/Brisalto714.lv2 (7.1.4)"
echo "  Standalone  $bin_dir/Brisalto"

host="$build/tools/host/brisalto-host"
status=0
for format in vst3 lv2; do
    bundle="$vst3_dir/Brisalto.vst3"
    [ "$format" = lv2 ] && bundle="$lv2_dir/Brisalto.lv2"
    echo
    echo "=== $format: $bundle ==="
    "$host" "$format" "$bundle" --seconds 4 || status=$?
done
exit "$status"
