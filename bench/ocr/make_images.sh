#!/bin/sh
# Renders the screen-like images the OCR benchmark reads, each beside a .txt
# file holding the text it shows. Pango at 96 dpi with grey anti-aliasing and
# slight hinting, as desktop toolkits draw; sizes in pixels.
# Terminal screens are make_terminal_images.sh's.
#
#   bench/ocr/make_images.sh <folder>
set -eu
out=${1:?usage: make_images.sh <folder>}
mkdir -p "$out"

# render <name> <font> <foreground> <background> <text>
render() {
    printf '%s\n' "$5" > "$out/$1.txt"
    pango-view -q --dpi=96 --hinting=slight --antialias=gray --margin=10 \
        --font="$2" --foreground="$3" --background="$4" --text "$5" -o "$out/$1.png"
}

render ui-menu-11 "DejaVu Sans 11px" "#202020" "#f2f2f2" \
"File  Edit  View  Selection  Go  Run  Terminal  Help
New Window  Open Folder  Save As  Revert File  Close Editor"

render ui-dialog-13 "DejaVu Sans 13px" "#1a1a1a" "#ffffff" \
"Do you want to save the changes you made to report.txt?
Your changes will be lost if you don't save them.
Don't Save    Cancel    Save"

render ui-settings-12 "DejaVu Sans 12px" "#333333" "#ececec" \
"Appearance
Show hidden files in the sidebar
Automatically check for updates
Play a sound after each capture
Keep the last 30 screenshots in history"

render ui-dark-13 "DejaVu Sans 13px" "#dcdcdc" "#2b2b2b" \
"Explorer  Search  Source Control  Extensions
Problems 3  Output  Debug Console  Ports"

render terminal-13 "DejaVu Sans Mono 13px" "#d0d0d0" "#1e1e1e" \
"user@host:~/src/project\$ git status
On branch main
Your branch is up to date with origin/main.
Changes not staged for commit:
modified: src/capture/region.cpp
modified: tests/capture/region_test.cpp"

render terminal-green-14 "DejaVu Sans Mono 14px" "#33ff66" "#000000" \
"Compiling tessarin v0.1.0 (release)
Finished release target in 42.7 seconds
Running 128 tests
test result: ok. 128 passed; 0 failed"

render paragraph-14 "DejaVu Serif 14px" "#111111" "#fdfdf8" \
"The quick brown fox jumps over the lazy dog while the
committee reviews the annual budget for the new library.
Every screenshot is stored locally and never leaves the
machine unless the user decides to share it with others.
Recognition runs on the device and returns each line of
text together with its position and a confidence score."

render browser-16 "DejaVu Sans 16px" "#202124" "#ffffff" \
"Search results for screen capture tools on Linux
About 1,240,000 results (0.42 seconds)
Take a screenshot of an area, a window or the whole screen"

render mixed-zh-en-14 "WenQuanYi Micro Hei 14px" "#222222" "#ffffff" \
"设置 Settings
打开文件 Open File
保存截图到桌面 Save screenshot to Desktop"

render zh-simplified-16 "WenQuanYi Micro Hei 16px" "#1a1a1a" "#fafafa" \
"屏幕截图已保存到桌面
正在识别图片中的文字
复制全部文本"

render zh-traditional-16 "WenQuanYi Micro Hei 16px" "#1a1a1a" "#fafafa" \
"螢幕截圖已儲存到桌面
正在識別圖片中的文字"

render status-bar-11 "DejaVu Sans 11px" "#e8e8e8" "#3c3c3c" \
"Ln 42, Col 17  Spaces: 4  UTF-8  LF  C++  Linux"
