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
# Every program and DLL goes in without its symbols and debugging sections (the MinGW
# runtime's libstdc++ is mostly those); a DLL's exports are in its export table, which stays.
ship() { x86_64-w64-mingw32-strip --strip-unneeded -o "$2/$(basename "$1")" "$1"; }
for exe in app/kibchat.exe sim/kibchat-sim.exe; do
    ship "$build/$exe" "$stage"
done
# What the programs and the windows plugin load beyond the system's own DLLs (objdump -p).
for dll in Qt5Core Qt5Gui Qt5Network Qt5Widgets; do
    ship "$qt/bin/$dll.dll" "$stage"
done
ship "$qt/plugins/platforms/qwindows.dll" "$stage/platforms"
# The native look of the few plain widgets (combo box lists, scroll bars) on Windows 7 and later.
ship "$qt/plugins/styles/qwindowsvistastyle.dll" "$stage/styles"
for dll in "$mingw_gcc/libgcc_s_seh-1.dll" "$mingw_gcc/libstdc++-6.dll" \
    "$mingw_lib/libwinpthread-1.dll"; do
    ship "$dll" "$stage"
done
# Only the pictures, as in the Linux installation.
(cd "$src" && find images -name '*.png' -exec cp --parents {} "$stage" \;)
# Windows' own line ends for the texts people open in Notepad and for the batch file.
crlf() { sed 's/$/\r/'; }
crlf <"$here/README.txt" >"$stage/README.txt"
crlf <"$here/demo.cmd" >"$stage/demo.cmd"

# The licences: KibChat's, and those of what the folder bundles (Qt under the LGPLv3, which
# also asks for the GPLv3 text; the MinGW-w64 runtime; cpp-httplib inside kibchat-sim.exe).
mkdir -p "$stage/licenses"
crlf <"$src/LICENSE" >"$stage/LICENSE.txt"
crlf </usr/share/common-licenses/LGPL-3 >"$stage/licenses/LGPL-3.txt"
crlf </usr/share/common-licenses/GPL-3 >"$stage/licenses/GPL-3.txt"
qt_version=$(sed -n 's/^set(PACKAGE_VERSION \([0-9.]*\)).*/\1/p' \
    "$qt/lib/cmake/Qt5Core/Qt5CoreConfigVersion.cmake")
[[ -n $qt_version ]] || { echo "no Qt version in $qt" >&2; exit 1; }
# tools/build-qt-windows.sh records the tarball it built from (caches before it did not).
qt_source="the original source tarball of Debian's source package qtbase-opensource-src for Qt $qt_version"
[[ -f $qt/debian-source.txt ]] && qt_source="$(cat "$qt/debian-source.txt"), the original source tarball of Debian's source package qtbase-opensource-src"
crlf >"$stage/licenses/Qt.txt" <<NOTICE
Qt $qt_version
$(printf '%*s' $((${#qt_version} + 3)) '' | tr ' ' '=')

Qt5Core.dll, Qt5Gui.dll, Qt5Network.dll, Qt5Widgets.dll, platforms\qwindows.dll and
styles\qwindowsvistastyle.dll are the qtbase module of the Qt toolkit, version $qt_version,
Copyright (C) The Qt Company Ltd. and other contributors. KibChat uses them under the GNU
Lesser General Public License version 3 (LGPL-3.txt beside this file), which adds to the
GNU General Public License version 3 (GPL-3.txt).

They were cross-compiled for 64-bit Windows with MinGW-w64, without changes, from
$qt_source
(upstream's qtbase-everywhere-opensource-src-$qt_version as Debian distributes it), with the
options in tools/build-qt-windows.sh of KibChat's source. That source is available from
Debian: "apt-get source qtbase-opensource-src" on Debian 12, or
https://snapshot.debian.org/package/qtbase-opensource-src/ ; upstream's is at
https://download.qt.io/archive/qt/5.15/$qt_version/submodules/ .

kibchat.exe and kibchat-sim.exe load these DLLs from this folder when they start: they may be
replaced with another build of Qt $qt_version of the same names.
NOTICE
{
    echo "The MinGW-w64 runtime: libgcc_s_seh-1.dll, libstdc++-6.dll and libwinpthread-1.dll,"
    echo "from Debian's packages; their copyright files follow."
    for dll in "$mingw_gcc/libgcc_s_seh-1.dll" "$mingw_lib/libwinpthread-1.dll"; do
        package=$(dpkg -S "$dll" | cut -d: -f1)
        echo
        echo "--- $(basename "$dll") ($package) ---"
        cat "/usr/share/doc/$package/copyright"
    done
} | crlf >"$stage/licenses/MinGW-w64-runtime.txt"
httplib=$(sed -n 's/^KIBCHAT_HTTPLIB_INCLUDE:[A-Z]*=//p' "$build/CMakeCache.txt")
httplib_copyright=$(grep -m1 -o 'Copyright (c) .*' "$httplib/httplib.h") ||
    { echo "no copyright line in $httplib/httplib.h" >&2; exit 1; }
{
    echo "kibchat-sim.exe contains cpp-httplib $(sed -n 's/^#define CPPHTTPLIB_VERSION "\(.*\)"/\1/p' "$httplib/httplib.h"):"
    echo
    echo "MIT License"
    echo
    echo "$httplib_copyright"
    sed '1,/^Copyright/d' "$src/LICENSE"
} | crlf >"$stage/licenses/cpp-httplib.txt"

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

# Nor any debugging section.
for f in "$stage"/*.exe "$stage"/*.dll "$stage"/platforms/*.dll "$stage"/styles/*.dll; do
    if x86_64-w64-mingw32-objdump -h "$f" | grep -q '\.debug_'; then
        echo "$f still has debugging sections" >&2
        exit 1
    fi
done

zip=$out/KibChat-$version-win64.zip
rm -f "$zip"
(cd "$out/stage" && zip -qr9 "$zip" KibChat)
echo "wrote $zip"

setup=$out/KibChat-$version-win64-setup.exe
rm -f "$setup"
makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DOUTFILE="$setup" "$here/installer.nsi"
echo "wrote $setup"
