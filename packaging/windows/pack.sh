#!/usr/bin/env bash
# Packs the cross-built programs into what a streamer downloads: the portable folder KibChat/
# as a zip, and the same folder as a per-user NSIS installer.
# Usage: pack.sh SOURCE_DIR BUILD_DIR QT_PREFIX VERSION OUT_DIR
set -euo pipefail
src=$1 build=$2 qt=$3 version=$4 out=$5
here=$(cd "$(dirname "$0")" && pwd)
mingw_gcc=/usr/lib/gcc/x86_64-w64-mingw32/12-posix
mingw_lib=/usr/x86_64-w64-mingw32/lib

stage=$out/stage/KibChat
rm -rf "$out/stage"
mkdir -p "$stage/platforms" "$stage/styles"
for exe in app/kibchat.exe sim/kibchat-sim.exe; do
    x86_64-w64-mingw32-strip -o "$stage/$(basename "$exe")" "$build/$exe"
done
# What the programs and the windows plugin load beyond the system's own DLLs (objdump -p).
for dll in Qt5Core Qt5Gui Qt5Network Qt5Widgets; do
    cp "$qt/bin/$dll.dll" "$stage/"
done
cp "$qt/plugins/platforms/qwindows.dll" "$stage/platforms/"
# The native look of the few plain widgets (combo box lists, scroll bars) on Windows 7 and later.
cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/"
cp "$mingw_gcc/libgcc_s_seh-1.dll" "$mingw_gcc/libstdc++-6.dll" "$mingw_lib/libwinpthread-1.dll" \
    "$stage/"
# Only the pictures, as in the Linux installation.
(cd "$src" && find images -name '*.png' -exec cp --parents {} "$stage" \;)
# Windows' own line ends for the texts people open in Notepad and for the batch file.
sed 's/$/\r/' "$here/README.txt" >"$stage/README.txt"
sed 's/$/\r/' "$here/demo.cmd" >"$stage/demo.cmd"

# Every DLL a program or plugin imports is either in the folder or one of Windows' own.
missing=$(
    for f in "$stage"/*.exe "$stage"/*.dll "$stage"/platforms/*.dll "$stage"/styles/*.dll; do
        x86_64-w64-mingw32-objdump -p "$f" | sed -n 's/^\s*DLL Name: //p'
    done | sort -u | while read -r dll; do
        [[ -f $stage/$dll ]] && continue
        case ${dll,,} in
        kernel32.dll | user32.dll | gdi32.dll | advapi32.dll | shell32.dll | ole32.dll | \
            oleaut32.dll | comdlg32.dll | winmm.dll | ws2_32.dll | imm32.dll | dwmapi.dll | \
            uxtheme.dll | version.dll | netapi32.dll | userenv.dll | mpr.dll | dnsapi.dll | \
            iphlpapi.dll | crypt32.dll | msvcrt.dll | shlwapi.dll | wtsapi32.dll | \
            setupapi.dll | winspool.drv | d3d9.dll | d3d11.dll | dxgi.dll | api-ms-win-*) ;;
        *) echo "$dll" ;;
        esac
    done
)
if [[ -n $missing ]]; then
    echo "the package lacks: $missing" >&2
    exit 1
fi

zip=$out/KibChat-$version-win64.zip
rm -f "$zip"
(cd "$out/stage" && zip -qr9 "$zip" KibChat)
echo "wrote $zip"

setup=$out/KibChat-$version-win64-setup.exe
rm -f "$setup"
makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DOUTFILE="$setup" "$here/installer.nsi"
echo "wrote $setup"
