# The mutants: small, plausible faults in the module, each an exact text
# replacement (the original text must occur exactly once in its file), with
# the tests of its area: a ctest regex for the native preset and/or one for
# the win64 preset (Wine). A mutant marked `equivalent` cannot change
# behaviour; the reason is given and it is neither run nor counted. `sample`
# marks the fast native-only mutants of the CI sample (mutation.sample).

# The tests of each area.
SIZEFIT_N = r"^native\.(SizeFit|IdealSize)\."
SIZEFIT_W = r"^wine\.(SizeProtocol|BadInput)"
LAYOUT_N = r"^native\.Layout\."
KEYS_N = r"^native\.(HitTest|Notes|Mark)\."
RENDER_W = r"^wine\.(Rendering|Painting|BadInput|FaultSweep|Soak\.Resizes)"
PLAY_W = r"^wine\.(Playing|Gestures|DestroyedInABox|FaultSweep|Soak\.PressSlide)"
SOUND_W = r"^wine\.(Playing|Gestures|DestroyedInABox|PageDevices|ToolCreation|FaultSweep|Soak\.Tools)"
TOOL_W = (r"^wine\.(Enumerate|InitType|ToolCreation|SettingsBlock|SizeProtocol|HostProtocol"
          r"|ContextMenu|Painting|BadInput|PageTarget|DestroyedInABox|FaultSweep|Soak\.Tools)")
MIDI_W = r"^wine\.Midi"
PAGE_W = r"^wine\.(PropertyPage|PageDevices|PageTarget|FaultSweep|Soak\.PropertyPages)"
ABOUT_W = r"^wine\.(AboutBox|DialogLayout|FaultSweep)"

MUTANTS = []


def mutant(id, file, old, new, desc, native=None, wine=None, equivalent=None, sample=False):
    MUTANTS.append(dict(id=id, file=file, old=old, new=new, desc=desc, native=native, win64=wine,
                        equivalent=equivalent, sample=sample))


# plugin/sizefit.cpp: size negotiation with the host.
F = "plugin/sizefit.cpp"
mutant("fit-min-width-edge", F,
       "if (width >= request.minWidth && height", "if (width > request.minWidth && height",
       "a fit whose width equals the minimum width is refused for the minimum pair",
       SIZEFIT_N, SIZEFIT_W, sample=True)
mutant("fit-max-height-edge", F,
       "if (height > request.maxHeight) {", "if (height >= request.maxHeight) {",
       "a by-width fit whose height equals the maximum height is capped, changing its width",
       SIZEFIT_N, SIZEFIT_W, sample=True)
mutant("fit-min-height-edge", F,
       "&& height >= request.minHeight)", "&& height > request.minHeight)",
       "a fit whose height equals the minimum height is refused for the minimum pair",
       SIZEFIT_N, SIZEFIT_W, sample=True)
mutant("fit-max-width-edge", F,
       "if (width > request.maxWidth) {", "if (width >= request.maxWidth) {",
       "a by-height fit whose width equals the maximum width is capped, changing its height",
       SIZEFIT_N, SIZEFIT_W, sample=True)
mutant("fit-double-fifth", F,
       "const double kFifth = static_cast<double>(0.05f);", "const double kFifth = 0.05;",
       "the twentieth in double precision: a fit at a restored count far above seven comes out a pixel narrower",
       SIZEFIT_N, SIZEFIT_W)
mutant("fit-zero-octaves", F,
       "if (*octaves < 1) {", "if (*octaves < 0) {",
       "an octave count of 0 is not raised to 1 before fitting",
       SIZEFIT_N, SIZEFIT_W, sample=True)
mutant("fit-capped-width-height", F,
       "height = Trunc16(width / perOctave * 20.0);", "height = Trunc16(width / perOctave * 21.0);",
       "a width capped at the maximum gives back the wrong height",
       SIZEFIT_N, SIZEFIT_W)
mutant("fit-by-width-rounded", F,
       "height = Trunc16(width * 20.0 / perOctave);", "height = Trunc16(width * 20.0 / perOctave + 0.5);",
       "a by-width fit rounds its height instead of cutting it",
       SIZEFIT_N, SIZEFIT_W, sample=True)
mutant("ideal-height", F,
       "return PackSize(width, 20);", "return PackSize(width, 21);",
       "the ideal height is 21 instead of 20",
       SIZEFIT_N, SIZEFIT_W, sample=True)
mutant("ideal-one-octave", F,
       "octaves >= 1 ? 32u", "octaves > 1 ? 32u",
       "one octave takes the fallback width",
       SIZEFIT_N, SIZEFIT_W,
       equivalent="for one octave both branches give 32 (32 x 1 and the fallback 32)")
mutant("trunc16-top-edge", F,
       "if (value >= 18446744073709551616.0) {", "if (value > 18446744073709551616.0) {",
       "a value of exactly 2^64 is not cut to 0xFFFF",
       SIZEFIT_N, SIZEFIT_W,
       equivalent="every value fitted is below 65536 x 32 x 2^31 x 0.05 < 2^49, far under 2^64")
mutant("trunc16-zero", F,
       "if (!(value > 0.0)) {", "if (!(value >= 0.0)) {",
       "zero goes through the bit decoding instead of returning early",
       SIZEFIT_N, SIZEFIT_W,
       equivalent="+0 and -0 decode to a shift of -1075, below -63, so the integer is 0 as before")
mutant("trunc16-shift-64", F,
       "} else if (shift > -64) {", "} else if (shift >= -64) {",
       "a value just under 2^-11 shifts the mantissa by 64 bits",
       SIZEFIT_N, SIZEFIT_W)

# keyboard/layout.cpp: the key table.
F = "keyboard/layout.cpp"
mutant("layout-black-pattern", F,
       "{true, true, false, true, true, true, false}", "{true, false, true, true, true, true, false}",
       "the black key after D is placed after E instead",
       LAYOUT_N, RENDER_W, sample=True)
mutant("layout-no-top-c", F,
       "width / static_cast<double>(7 * octaves + 1)", "width / static_cast<double>(7 * octaves)",
       "the key width leaves no room for the top C",
       LAYOUT_N, RENDER_W, sample=True)
mutant("layout-black-bottom-middle", F,
       "const int32_t blackBottom = inner.bottom / 2;",
       "const int32_t blackBottom = (inner.top + inner.bottom) / 2;",
       "black keys end at the middle of the inner rectangle, not at half its bottom",
       LAYOUT_N, RENDER_W, sample=True)
mutant("layout-black-width", F,
       "const double h = K * (1.0 / 3.0);", "const double h = K * (1.0 / 4.0);",
       "black keys are half a white key wide instead of two thirds",
       LAYOUT_N, RENDER_W, sample=True)
mutant("layout-edge-recomputed", F,
       "            x += K;", "            x = inner.left + K * (7 * octave + w + 2);",
       "the running edge is recomputed from the key number and no longer loses its pixel",
       LAYOUT_N, RENDER_W, sample=True)
mutant("layout-last-key", F,
       "block->lastKey = n;", "block->lastKey = n - 1;",
       "the top C is left out of lastKey",
       LAYOUT_N, RENDER_W, sample=True)
mutant("layout-negative-one-octave", F,
       "return octaves < 0 ? 0 : octaves;", "return octaves < 0 ? 1 : octaves;",
       "a negative restored octave count lays out one octave",
       LAYOUT_N, RENDER_W, sample=True)
mutant("layout-seven-edge", F,
       "if (octaves > MAX_OCTAVES) {", "if (octaves >= MAX_OCTAVES) {",
       "seven octaves take the cap branch",
       LAYOUT_N, RENDER_W,
       equivalent="at seven octaves the cap returns MAX_OCTAVES, which is 7, the count itself")
mutant("layout-trunc-top-edge", F,
       "if (v >= 2147483647.0) {", "if (v > 2147483647.0) {",
       "an edge of exactly 2^31 - 1 is converted instead of pinned",
       LAYOUT_N, RENDER_W,
       equivalent="2147483647.0 converts exactly to INT32_MAX, the value pinned to")

# keyboard/keys.cpp: hit testing, notes and the mark.
F = "keyboard/keys.cpp"
mutant("hit-right-edge", F,
       "key.left <= x && x <= key.right", "key.left <= x && x < key.right",
       "a key's right edge no longer belongs to it",
       KEYS_N, PLAY_W, sample=True)
mutant("hit-bottom-edge", F,
       "key.top <= y && y <= key.bottom", "key.top <= y && y < key.bottom",
       "a key's bottom edge no longer belongs to it",
       KEYS_N, PLAY_W, sample=True)
mutant("hit-shared-column", F,
       "block.keys[i + 1].bottom < block.keys[i].bottom", "block.keys[i + 1].bottom <= block.keys[i].bottom",
       "a white column shared with the next white key goes to the higher index",
       KEYS_N, PLAY_W, sample=True)
mutant("hit-last-pair", F,
       "if (i + 1 <= last &&", "if (i + 1 < last &&",
       "a shorter last entry of a restored table does not win over the key before it",
       KEYS_N, PLAY_W)
mutant("keys-usable-last", F,
       "return block.lastKey < KEY_TABLE_SIZE ? block.lastKey",
       "return block.lastKey <= KEY_TABLE_SIZE ? block.lastKey",
       "a restored lastKey of 95 lets readers past the table's end",
       KEYS_N, PLAY_W, sample=True)
mutant("note-base-three", F,
       "if (octaves <= 3) {", "if (octaves < 3) {",
       "three octaves start an octave lower",
       KEYS_N, PLAY_W, sample=True)
mutant("note-base-step", F,
       "48 - 12 * static_cast<int64_t>(octaves / 3)", "48 - 12 * static_cast<int64_t>(octaves / 2)",
       "bigger keyboards are lowered one octave per two instead of per three",
       KEYS_N, PLAY_W, sample=True)
mutant("note-byte", F,
       "NoteBase(octaves)) & 0xFF);", "NoteBase(octaves)) & 0x7F);",
       "note numbers are kept to seven bits instead of a byte",
       KEYS_N, PLAY_W, sample=True)
mutant("usable-key-negative", F,
       "if (key < 0 || key > UsableLastKey(block)) {", "if (key > UsableLastKey(block)) {",
       "a negative key index (no key) reads before the table",
       KEYS_N, PLAY_W, sample=True)
mutant("mark-left", F,
       "static_cast<int64_t>(r.left) + 2)", "static_cast<int64_t>(r.left) + 1)",
       "the mark starts one pixel further left",
       KEYS_N, PLAY_W, sample=True)

# keyboard/input.cpp: pressing, sliding and releasing keys.
F = "keyboard/input.cpp"
mutant("unended-untaken", F,
       "if (!taken && record->noteTaken) {", "if (!taken) {",
       "a refused note-off of a note the device never took is sent again at the close",
       None, r"^wine\.Playing\.Destroying")
mutant("capture-lost-send-depth", F,
       "record->releasingCapture || record->noteSendDepth > 0 || newCapture",
       "record->releasingCapture || newCapture",
       "a capture taken by this tool's own note box ends the note a second time",
       None, PLAY_W)
mutant("capture-lost-own-window", F,
       " || newCapture == record->hwnd ||", " || newCapture == GetParent(record->hwnd) ||",
       "the capture check looks for the host's window, so the tool taking it counts as a loss",
       None, PLAY_W)
mutant("capture-lost-silent", F,
       "||\n        !record->sounding) {", ") {",
       "a capture lost with no note sounding still sends a note-off",
       None, PLAY_W)
mutant("release-flag", F,
       "    record->releasingCapture = true;\n", "",
       "the tool's own release of the capture counts as a loss and ends the note twice",
       None, PLAY_W)
mutant("release-dead-tool", F,
       "    HWND hwnd = record->hwnd;\n    record->releasingCapture = true;\n    ReleaseCapture();\n"
       "    if (!ToolStillHolds(hwnd, record)) {\n        return 0;\n    }\n",
       "    record->releasingCapture = true;\n    ReleaseCapture();\n",
       "a release goes on after the tool died in its capture change",
       None, PLAY_W)
mutant("send-note-dead-tool", F,
       "    if (!ToolStillHolds(hwnd, record)) {\n        return false;\n    }\n    record->noteSendDepth--;",
       "    record->noteSendDepth--;",
       "a note goes on after the tool died in the note's message box",
       None, PLAY_W)
mutant("send-depth-kept", F,
       "    record->noteSendDepth--;\n", "",
       "the note guard is never lowered, so a later lost capture never ends the note",
       None, PLAY_W)
mutant("press-dead-tool", F,
       "    HWND previous = SetCapture(hwnd);\n    if (!ToolStillHolds(hwnd, record)) {\n"
       "        return false;\n    }\n",
       "    HWND previous = SetCapture(hwnd);\n",
       "a press goes on after another tool's note-off box destroyed this tool",
       None, PLAY_W)
mutant("press-release-dc", F,
       "    ReleaseDC(hwnd, hdc);\n    for (int i", "    if (marked < 0) {\n        ReleaseDC(hwnd, hdc);\n    }\n    for (int i",
       "a press or a slide keeps the window DC it marks the key on",
       None, PLAY_W)
mutant("unmark-release-dc", F,
       "    ReleaseDC(hwnd, hdc);\n    for (int i", "    if (marked >= 0) {\n        ReleaseDC(hwnd, hdc);\n    }\n    for (int i",
       "a release or a lost capture keeps the window DC it unmarks the key on",
       None, PLAY_W)
mutant("mark-pen-leak", F,
       "        DeleteMade(pens[i]);\n", "",
       "every mark leaks its pen",
       None, PLAY_W)
mutant("slide-other-buttons", F,
       "if (keys != MK_LBUTTON) {", "if (!(keys & MK_LBUTTON)) {",
       "a slide with Shift, Ctrl or the right button also held plays keys",
       None, PLAY_W)
mutant("slide-same-key", F,
       "if (key == record->state.currentKey || key == -1) {", "if (key == -1) {",
       "sliding within the key sounding plays it again",
       None, PLAY_W)
mutant("slide-same-key-unmarked", F,
       "if (key == record->state.currentKey || key == -1) {",
       "if (key == -1 || (key == record->state.currentKey && PaintMarks(record, key, -1))) {",
       "a move within the key sounding paints its mark away, the note going on",
       None, PLAY_W)
mutant("mark-undrawn-answered", F,
       "    if (!hdc) {\n        return false;\n    }\n    const int32_t keys",
       "    if (!hdc) {\n        return true;\n    }\n    const int32_t keys",
       "a mark that could not be drawn counts as drawn: a slide moves the note and leaves the mark",
       None, PLAY_W)
mutant("slide-capture-untaken", F,
       "GetCapture() == record->hwnd || HoldCapture(record)", "true",
       "a slide begun outside the tool never takes the capture, so its release never ends the note",
       None, PLAY_W)
mutant("note-after-box", F,
       "if (refused && !StillHoldsCapture(record)) {", "if (false) {",
       "a slide whose note-off box took the capture sounds the next key, with no release to come",
       None, PLAY_W)
mutant("unsounded-key-marked", F,
       "    }\n    PaintMarks(record, record->state.currentKey, -1);\n    return false;\n}\n\n// The current key",
       "    }\n    return false;\n}\n\n// The current key",
       "a key that does not sound after a box, or whose press lost the capture, keeps its mark",
       None, PLAY_W)
mutant("press-capture-unasked", F,
       "return !previous || previous == hwnd || StillHoldsCapture(record);",
       "return !previous || previous == hwnd || true;",
       "a press whose capture another tool's box took sounds with no release to come",
       None, PLAY_W)
mutant("play-extra-note-off", F,
       "if (record->sounding && !EndKeyNote(record, &refused)) {", "if (!EndKeyNote(record, &refused)) {",
       "every press sends a note-off first, sounding or not",
       None, PLAY_W)
mutant("velocity", F,
       "const BYTE kVelocity = 110;", "const BYTE kVelocity = 127;",
       "notes start at velocity 127",
       None, PLAY_W)
mutant("erase-black-white", F,
       "key->black ? kBlack : kWhite", "key->black ? kWhite : kBlack",
       "a mark is painted away in the other key colour",
       None, PLAY_W)
mutant("slide-erase-order", F,
       "    if (!PaintMarks(record, record->state.currentKey, key)) {",
       "    if (!PaintMarks(record, key, key)) {",
       "a slide erases the mark of the key it moves to instead of the one it leaves",
       None, PLAY_W)

# keyboard/render.cpp: back buffer, rendering and the copy.
F = "keyboard/render.cpp"
mutant("layout-dc-leak", F,
       "    SelectObject(mem, oldBitmap);\n    DeleteDC(mem);\n    DeleteObject(white);\n",
       "    SelectObject(mem, oldBitmap);\n    DeleteObject(white);\n",
       "rendering leaks its memory DC",
       None, RENDER_W)
mutant("blit-dc-leak", F,
       "SRCCOPY);\n    SelectObject(mem, oldBitmap);\n    DeleteDC(mem);\n",
       "SRCCOPY);\n    SelectObject(mem, oldBitmap);\n",
       "every paint leaks its memory DC",
       None, RENDER_W)
mutant("brush-leak", F,
       "    DeleteObject(white);\n", "",
       "rendering leaks its white brush",
       None, RENDER_W)
mutant("resize-screen-dc", F,
       "    ReleaseDC(nullptr, screen);\n", "",
       "a resize keeps the screen DC",
       None, RENDER_W)
mutant("draw-top-c-separator", F,
       "i < block.lastKey && i < KEY_TABLE_SIZE; i++", "i <= block.lastKey && i < KEY_TABLE_SIZE; i++",
       "rendering draws the top C too, a separator on the board's right edge",
       None, RENDER_W,
       equivalent="HasSeparator and IsBlackKey both require i < lastKey, so the extra pass "
                  "at i == lastKey draws nothing")
mutant("corner", F,
       "const int kCorner = 5;", "const int kCorner = 4;",
       "board and black keys get smaller rounded corners",
       None, RENDER_W)
mutant("raised-edge", F,
       "DrawEdge(mem, &rc, EDGE_RAISED, BF_RECT | BF_ADJUST);", "DrawEdge(mem, &rc, EDGE_SUNKEN, BF_RECT | BF_ADJUST);",
       "the keyboard is framed by a sunken edge",
       None, RENDER_W)
mutant("blit-size-swapped", F,
       "BitBlt(hdc, 0, 0, rc.right, rc.bottom, mem", "BitBlt(hdc, 0, 0, rc.bottom, rc.right, mem",
       "the copy's width and height are swapped",
       None, RENDER_W)
mutant("back-buffer-null", F,
       "        record->backBuffer = nullptr;\n", "",
       "a deleted back buffer's handle is left in the record",
       None, RENDER_W,
       equivalent="both callers overwrite it (ResizeBackBuffer) or free the record (OnToolDestroy) next")

# keyboard/sound.cpp: the tool's device, voice and volume.
F = "keyboard/sound.cpp"
mutant("device-zero-unchosen", F,
       "if (record->state.deviceNumber < 0) {", "if (record->state.deviceNumber <= 0) {",
       "a saved device 0 is taken for none chosen and not opened",
       None, SOUND_W)
mutant("volume-scale", F,
       "record->state.volume * 655);", "record->state.volume * 656);",
       "the device volume is scaled by 656 per percent",
       None, SOUND_W)
mutant("volume-one-channel", F,
       "MAKELONG(level, level)", "MAKELONG(level, 0)",
       "the volume reaches the left channel only",
       None, SOUND_W)
mutant("setup-no-volume", F,
       "    SendProgramChange(record);\n    ApplyVolume(record);\n", "    SendProgramChange(record);\n",
       "a saved device is opened without its volume",
       None, SOUND_W)
mutant("release-hanging-note", F,
       "    if (record->sounding) {\n        const bool taken", "    if (false) {\n        const bool taken",
       "a tool closed while a note sounds leaves the note hanging",
       None, SOUND_W)
mutant("release-device-open", F,
       "    EndTakenNotes(record, nullptr);\n    CloseToolDevice(record);\n",
       "    EndTakenNotes(record, nullptr);\n",
       "a closed tool leaves its device open",
       None, SOUND_W)
mutant("release-close-retried", F,
       "    EndTakenNotes(record, nullptr);\n    CloseToolDevice(record);\n",
       "    EndTakenNotes(record, nullptr);\n    HANDLE handle = record->midi.hDevice;\n"
       "    if (CloseToolDevice(record) != MMSYSERR_NOERROR) {\n        record->midi.hDevice = handle;\n"
       "        MidiActivateDevice(record->hwnd, &record->midi, MIDI_ABANDON);\n    }\n",
       "a refused close is tried again on the handle the system may have given another tool",
       None, r"^wine\.Playing\.AToolOpened")
mutant("unended-held-forgotten", F,
       "if (!ended && taken && record->sounding) {", "if (!ended && !taken && record->sounding) {",
       "a held key whose note-off is refused at the close is not sent it again",
       None, r"^wine\.Playing\.Destroying")
mutant("unended-one-pass", F,
       "        EndNote(record, static_cast<uint8_t>(note));\n",
       "        EndNote(record, static_cast<uint8_t>(note));\n        break;\n",
       "only the lowest of the refused notes is ended before the close",
       None, r"^wine\.Playing\.Destroying")
mutant("unended-cleared-after-send", F,
       "        record->unendedNotes[note >> 3] &= static_cast<uint8_t>(~bit);\n"
       "        EndNote(record, static_cast<uint8_t>(note));\n",
       "        EndNote(record, static_cast<uint8_t>(note));\n"
       "        record->unendedNotes[note >> 3] &= static_cast<uint8_t>(~bit);\n",
       "a remembered note leaves the set only after its note-off, so a close in that note's box sends it again",
       None, SOUND_W)
mutant("unended-loop-dead-tool", F,
       "        EndNote(record, static_cast<uint8_t>(note));\n"
       "        if (holder && !ToolStillHolds(holder, record)) {\n",
       "        EndNote(record, static_cast<uint8_t>(note));\n"
       "        if (false) {\n",
       "the remembered notes' loop goes on after the tool was destroyed in one of their boxes",
       None, SOUND_W)
mutant("switch-held-cleared-first", F,
       "        const bool ended = EndNote(record, note);\n",
       "        record->sounding = 0;\n        const bool ended = EndNote(record, note);\n",
       "a held key is let go before its note-off: refused at a device switch whose box destroys the tool, it is never sent again",
       None, SOUND_W)

# plugin/entry.cpp: the exports and tool creation.
F = "plugin/entry.cpp"
mutant("create-dead-window-sound", F,
       "    if (!ToolStillHolds(hwnd, nullptr)) {\n        ReleaseToolSound(record);\n",
       "    if (!ToolStillHolds(hwnd, nullptr)) {\n",
       "a window destroyed during the sound set-up leaves its device open",
       None, TOOL_W)
mutant("create-dead-window", F,
       "    if (!ToolStillHolds(hwnd, nullptr)) {", "    if (!IsWindow(hwnd)) {",
       "creation checks only that the window lives, not that it holds no record yet",
       None, TOOL_W,
       equivalent="only this function attaches a record, after this check: a living window "
                  "holding one would be the dead window's handle handed out again for a new "
                  "tool within the box, which the system's handle generations prevent")
mutant("create-failed-leak", F,
       "    if (!hwnd) {\n        HeapFree(GetProcessHeap(), 0, record);\n", "    if (!hwnd) {\n",
       "a failed creation leaks its record",
       None, TOOL_W)
mutant("enumerate-every-time", F,
       "    typeReported = true;\n", "",
       "the panel type is reported on every enumeration",
       None, TOOL_W)
mutant("enumerate-host-once", F,
       "    hHostInstance = hHost;\n    if (typeReported || !initName || !createName || !cleanupName) {\n"
       "        return FALSE;\n    }\n",
       "    if (typeReported || !initName || !createName || !cleanupName) {\n"
       "        return FALSE;\n    }\n    hHostInstance = hHost;\n",
       "the host instance is taken only by the enumeration that reports the type",
       None, TOOL_W)
mutant("class-no-extra", F,
       "wc.cbWndExtra = sizeof(ToolInstance*);", "wc.cbWndExtra = 0;",
       "the window class has no room for the record",
       None, TOOL_W)
mutant("class-no-dblclks", F,
       "wc.style = CS_DBLCLKS;", "wc.style = 0;",
       "the class does not ask for double clicks",
       None, TOOL_W)
mutant("image-reloaded", F,
       "    if (!panelTypeInfo.image) {\n        panelTypeInfo.image =",
       "    {\n        panelTypeInfo.image =",
       "every type set-up loads the image again, leaking the last",
       None, TOOL_W)
mutant("saved-block-short", F,
       "memcpy(&record->state, saved, TOOL_STATE_SIZE);", "memcpy(&record->state, saved, TOOL_STATE_SIZE - 4);",
       "a saved block's last four bytes are not taken",
       None, TOOL_W)
mutant("create-invisible", F,
       "WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS", "WS_CHILD | WS_CLIPSIBLINGS",
       "tools are created hidden",
       None, TOOL_W)
mutant("create-size-swapped", F,
       "rc.right - rc.left, rc.bottom - rc.top, parent", "rc.bottom - rc.top, rc.right - rc.left, parent",
       "the placement's width and height are swapped",
       None, TOOL_W)

# plugin/toolwnd.cpp: the window procedure and the host protocol.
F = "plugin/toolwnd.cpp"
mutant("move-unread-client", F,
       "    if (!GetClientRect(record->hwnd, &rc)) {\n        return 0;\n    }\n    return OnToolSize",
       "    GetClientRect(record->hwnd, &rc);\n    return OnToolSize",
       "a move whose client area cannot be read lays the keyboard out for an empty window",
       None, r"^wine\.Painting\.WithoutABuffer")
mutant("destroy-page-target", F,
       "    ForgetPageTarget(record);\n", "",
       "a destroyed tool stays the open page's target",
       None, TOOL_W)
mutant("destroy-back-buffer", F,
       "    DeleteBackBuffer(record);\n", "",
       "a destroyed tool leaks its back buffer",
       None, TOOL_W)
mutant("destroy-detach", F,
       "    SetWindowLongPtrA(hwnd, 0, 0);\n    if (!record) {\n        return 0;\n    }\n"
       "    // An open property page must not go on editing a freed record.\n"
       "    ForgetPageTarget(record);\n    ReleaseToolSound(record);\n    DeleteBackBuffer(record);\n"
       "    HeapFree(GetProcessHeap(), 0, record);\n",
       "    if (!record) {\n        return 0;\n    }\n"
       "    // An open property page must not go on editing a freed record.\n"
       "    ForgetPageTarget(record);\n    ReleaseToolSound(record);\n    DeleteBackBuffer(record);\n"
       "    HeapFree(GetProcessHeap(), 0, record);\n    SetWindowLongPtrA(hwnd, 0, 0);\n",
       "a dying window is detached from its record only after the record is freed",
       None, TOOL_W)
mutant("paint-dead-tool", F,
       "    if (ToolStillHolds(hwnd, record)) {\n        BlitKeyboard(hdc, record);\n    }\n",
       "    BlitKeyboard(hdc, record);\n",
       "a paint goes on after the host destroyed the tool in the paint notice",
       None, TOOL_W)
mutant("paint-inner-rect", F,
       "EDGE_ETCHED, BF_RECT | BF_ADJUST);", "EDGE_ETCHED, BF_RECT);",
       "the host is told the whole client area as the inner rectangle",
       None, TOOL_W)
mutant("menu-leak", F,
       "    DestroyMenu(menu);\n", "",
       "every context menu is leaked",
       None, TOOL_W)
mutant("menu-left-button", F,
       "TrackPopupMenu(menu, TPM_RIGHTBUTTON,", "TrackPopupMenu(menu, TPM_LEFTBUTTON,",
       "the context menu's items cannot be chosen with the right button",
       None, TOOL_W)
mutant("menu-text-garbage", F,
       'char text[100] = "";', "char text[100];",
       "a menu text that cannot be loaded leaves stack garbage in the item",
       None, TOOL_W)
mutant("fit-null-request", F,
       "    if (!lParam) {\n        return 0;\n    }\n    return FitToolSize", "    return FitToolSize",
       "a fit message without its request reads through a null pointer",
       None, TOOL_W)
mutant("fit-third-message", F,
       "    case PNM_FITSIZE2:\n    case PNM_FITSIZE3:\n", "    case PNM_FITSIZE2:\n",
       "the third fit message goes to the default procedure",
       None, TOOL_W)
mutant("size-swapped", F,
       "OnToolSize(record, LOWORD(lParam), HIWORD(lParam))", "OnToolSize(record, HIWORD(lParam), LOWORD(lParam))",
       "a size message's width and height are swapped",
       None, TOOL_W + "|" + RENDER_W)
mutant("double-click", F,
       "    case WM_LBUTTONDOWN:\n    case WM_LBUTTONDBLCLK:\n", "    case WM_LBUTTONDOWN:\n",
       "a double click's second press sounds nothing",
       None, PLAY_W)
mutant("refresh-no-repaint", F,
       "    LayoutKeyboard(record);\n    ShowKeyboard(record);\n    return 0;\n",
       "    LayoutKeyboard(record);\n    return 0;\n",
       "a refresh lays out the keys but does not show them",
       None, TOOL_W + "|" + RENDER_W)
mutant("page-not-placed", F,
       "0, 0, SWP_NOSIZE);", "0, 0, SWP_NOSIZE | SWP_NOMOVE);",
       "the property page is not moved to the host's point",
       None, PAGE_W)
mutant("state-size", F,
       "    return TOOL_STATE_SIZE;\n", "    return sizeof(ToolInstance);\n",
       "the state message reports the record's size instead of the block's",
       None, TOOL_W)

# midi/: the device layer over winmm.
F = "midi/midi.cpp"
mutant("init-output-count", F,
       "PrepareRecord(pOutput, MIDI_OUTPUT, uMidiOutDevs);", "PrepareRecord(pOutput, MIDI_OUTPUT, uMidiInDevs);",
       "the output record takes its direction from the input count",
       None, MIDI_W)
mutant("init-text-or", F,
       '(!uMidiInDevs && !uMidiOutDevs) ? "or "', '(!uMidiInDevs || !uMidiOutDevs) ? "or "',
       "the missing-device text says 'or' when only one direction is missing",
       None, MIDI_W)
mutant("name-full-field", F,
       "while (length < MAXPNAMELEN - 1 && name[length]) {", "while (length < MAXPNAMELEN && name[length]) {",
       "a name filling all 32 characters overruns the client's 32-byte buffer",
       None, MIDI_W)
mutant("in-caps-size", F,
       "static const UINT kInCapsSize = offsetof(MIDIINCAPSA, dwSupport);",
       "static const UINT kInCapsSize = sizeof(MIDIINCAPSA);",
       "input capabilities are asked for with their support word",
       None, MIDI_W)
mutant("open-twice", F,
       "    if (pDevice->hDevice) {\n        return MMSYSERR_NOERROR;\n    }\n    MMRESULT result;\n",
       "    MMRESULT result;\n",
       "opening an open record opens the device again",
       None, MIDI_W)
mutant("open-failed-number", F,
       "        pDevice->uDeviceId = MIDI_NONE;\n", "",
       "a failed open keeps the device number",
       None, MIDI_W)
mutant("close-busy", F,
       "if (pDevice->fBusy || pDevice->uBufferState == MIDI_BUF_IN_USE) {",
       "if (pDevice->uBufferState == MIDI_BUF_IN_USE) {",
       "a plain close closes a device the client marked busy",
       None, MIDI_W)
mutant("short-data-swapped", F,
       "PackShortMsg(uStatus, uChannel, uData1, uData2)", "PackShortMsg(uStatus, uChannel, uData2, uData1)",
       "the two data bytes of a short message are swapped",
       None, MIDI_W + "|" + PLAY_W)
F = "midi/layer.cpp"
mutant("close-keeps-handle", F,
       "    pDevice->hDevice = nullptr;\n    if (result", "    if (result",
       "a closed device's handle is kept in the record",
       None, MIDI_W + "|" + SOUND_W)
mutant("close-refused-kept", F,
       "    pDevice->hDevice = nullptr;\n    if (result != MMSYSERR_NOERROR) {\n",
       "    if (result != MMSYSERR_NOERROR) {\n        MidiShowError(hwndOwner, result, pDevice->uDeviceType);\n"
       "        return result;\n    }\n    pDevice->hDevice = nullptr;\n    if (false) {\n",
       "a handle whose close was refused is kept, to be closed again",
       None, r"^wine\.(MidiOpenClose|MidiAbandon|PageDevices\.AFailedClose)")
mutant("error-not-modal", F,
       "MB_TASKMODAL | MB_ICONERROR", "MB_ICONERROR",
       "error boxes are not task-modal",
       None, MIDI_W)
mutant("error-fallback-code", F,
       "failure = getErrorText(failure, text, sizeof text);", "failure = getErrorText(uResult, text, sizeof text);",
       "an undescribed code asks for its own text again instead of the reason",
       None, MIDI_W)
mutant("error-text-size", F,
       "static const UINT kErrorTextSize = 128;", "static const UINT kErrorTextSize = 256;",
       "error texts are read into 256 characters",
       None, MIDI_W)
F = "midi/midibuf.cpp"
mutant("closed-output-mark", F,
       "        if (output) {\n            pDevice->uBufferState = MIDI_BUF_IDLE;\n        }\n", "",
       "a closed output record stays quiet after its first quiet release",
       None, MIDI_W)
mutant("prepare-size", F,
       "SystemHeader(pDevice), sizeof(MidiHeader));\n    } else {",
       "SystemHeader(pDevice), sizeof(MIDIHDR));\n    } else {",
       "output buffers are prepared with the full header size",
       None, MIDI_W)
mutant("release-done-bit", F,
       "if (pDevice->midiHdr.dwFlags != MHDR_DONE) {", "if (!(pDevice->midiHdr.dwFlags & MHDR_DONE)) {",
       "a header marked done among other flags is released without a reset",
       None, MIDI_W)
mutant("release-state", F,
       "    pDevice->midiHdr.dwBufferLength = 0;\n    pDevice->uBufferState = MIDI_BUF_IDLE;\n",
       "    pDevice->midiHdr.dwBufferLength = 0;\n",
       "a released buffer keeps its state",
       None, MIDI_W)
mutant("abandon-answer", F,
       "if (answer == IDNO) {", "if (answer != IDYES) {",
       "any answer but Yes declines the abandon",
       None, MIDI_W)
mutant("abandon-busy", F,
       "if (pDevice->uBufferState == MIDI_BUF_IN_USE) {\n        UINT result",
       "if (pDevice->uBufferState == MIDI_BUF_IN_USE || pDevice->fBusy) {\n        UINT result",
       "abandoning a busy device with an idle buffer asks the user first",
       None, MIDI_W)
mutant("abandon-failure-quiet", F,
       "        // The release has shown its failure; this one says the abandon failed.\n"
       "        MidiShowError(hwndOwner, result, pDevice->uDeviceType);\n",
       "",
       "a failed release during an abandon is shown once only",
       None, MIDI_W)
F = "midi/shortmsg.h"
mutant("pack-channel-nibble", F,
       "(channel & 0xFFu)", "(channel & 0x0Fu)",
       "the channel is cut to its low nibble",
       None, MIDI_W)
mutant("pack-data2-shift", F,
       "((data2 & 0xFFu) << 16)", "((data2 & 0xFFu) << 24)",
       "the second data byte goes to the top byte",
       None, MIDI_W + "|" + PLAY_W)
mutant("pack-data1-seven-bits", F,
       "((data1 & 0xFFu) << 8)", "((data1 & 0x7Fu) << 8)",
       "the first data byte is cut to seven bits",
       None, MIDI_W + "|" + PLAY_W)

# dialogs/proppage.cpp: the property page.
F = "dialogs/proppage.cpp"
mutant("device-open-target", F,
       "    UINT opened = OpenToolDevice(record);\n"
       "    if (!StillTarget(record)) {\n        return false;\n    }\n",
       "    UINT opened = OpenToolDevice(record);\n",
       "an apply goes on after the tool died in the open's error box",
       None, PAGE_W)
mutant("device-close-target", F,
       "        CloseToolDevice(record);\n"
       "        if (!StillTarget(record)) {\n            return false;\n        }\n",
       "        CloseToolDevice(record);\n",
       "an apply goes on after the tool died in the close's error box",
       None, PAGE_W)
mutant("device-names-target", F,
       "        if (!StillTarget(record)) {\n            return;\n        }\n", "",
       "the device list goes on after the tool died in a name's error box",
       None, PAGE_W)
mutant("init-retarget", F,
       "outlived the tool.\n    record = PageTarget();\n", "outlived the tool.\n",
       "the page's set-up goes on with a tool that died in the device list's box",
       None, PAGE_W)
mutant("octaves-seven", F,
       "if (octaves > MAX_OCTAVES || octaves < 0) {", "if (octaves >= MAX_OCTAVES || octaves < 0) {",
       "seven octaves are applied as one",
       None, PAGE_W)
mutant("octaves-spin-range", F,
       "MAKELONG(MAX_OCTAVES, 1)", "MAKELONG(MAX_OCTAVES, 0)",
       "the octave arrows go down to zero",
       None, PAGE_W)
mutant("volume-unchanged-sent", F,
       "    if (!edits.volumeRead ||\n        edits.volume == static_cast<UINT>(static_cast<int32_t>(record->state.volume))) {",
       "    if (!edits.volumeRead) {",
       "a volume shown as stored is sent again on every apply",
       None, PAGE_W)
mutant("octaves-shown-always", F,
       "SetWindowLongPtrA(page, DWLP_USER, shown ? 1 : 0);", "SetWindowLongPtrA(page, DWLP_USER, shown ? 1 : 1);",
       "a page whose octave field was never given the count applies an empty field as 0",
       None, r"^wine\.PropertyPage\.AnOctaveField")
mutant("switch-notes-unended", F,
       "        EndTakenNotes(record, record->hwnd);\n", "",
       "a device switch closes the old device with a key held and refused notes unended",
       None, r"^wine\.PageDevices\.EveryApply")
mutant("device-entry-without-number", F,
       "        SendItem(page, id, CB_DELETESTRING, static_cast<WPARAM>(entry));\n", "",
       "a device or voice entry that could not take its number stays, reading as 0",
       None, r"^wine\.PageDevices\.ListsReadable")
mutant("device-number-kept", F,
       "    record->state.deviceNumber = edits.deviceNumber;\n", "",
       "the chosen device is neither stored nor opened; the old one is opened again",
       None, PAGE_W)
mutant("device-no-relayout", F,
       "    layoutChanged = layoutChanged || edits.deviceChosen;\n", "",
       "an apply with a device selected does not lay out again",
       None, PAGE_W)
mutant("voice-zero", F,
       "if (edits.voice < 0) {", "if (edits.voice <= 0) {",
       "voice 0 (the first entry) is never applied",
       None, PAGE_W)
mutant("voice-names-shifted", F,
       "IDS_VOICE_FIRST + program,", "IDS_VOICE_FIRST + program + 1,",
       "the voice list is shifted by one name",
       None, PAGE_W)
mutant("forget-any-target", F,
       "if (pPageTarget == record) {", "if (record) {",
       "destroying any tool leaves the open page with no target",
       None, PAGE_W)

# dialogs/about.cpp: the About box.
F = "dialogs/about.cpp"
mutant("about-result", F,
       "EndDialog(dialog, 1);", "EndDialog(dialog, 0);",
       "the box ends with 0 instead of 1",
       None, ABOUT_W,
       equivalent="ShowAboutBox discards what DialogBoxParamA returns")
mutant("about-ok-only", F,
       "AboutDlgProc(HWND hwnd, UINT msg, WPARAM, LPARAM)\n{\n    switch (msg) {\n"
       "    case WM_INITDIALOG:\n        return InitAboutBox(hwnd);\n    case WM_COMMAND:\n"
       "        return CloseAboutBox(hwnd);",
       "AboutDlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM)\n{\n    switch (msg) {\n"
       "    case WM_INITDIALOG:\n        return InitAboutBox(hwnd);\n    case WM_COMMAND:\n"
       "        return LOWORD(wParam) == IDOK ? CloseAboutBox(hwnd) : FALSE;",
       "Esc no longer closes the box",
       None, ABOUT_W)
mutant("about-caption", F,
       "IDS_ABOUTMENU, caption, kAboutTextSize);", "IDS_TOOLNAME, caption, kAboutTextSize);",
       "the box keeps the tool's name as its caption instead of the menu's About text",
       None, ABOUT_W)
mutant("about-credit", F,
       "IDC_CREDIT2, IDS_CREDIT2);", "IDC_CREDIT2, IDS_CREDIT1);",
       "the second credit line repeats the first",
       None, ABOUT_W)

# host/: the host program's window side, its paths and its module loading.
# The host's tests: its window side run in the test program on the object
# ledger, and the host started as a program of its own.
HOST_WINDOW_W = r"^wine\.HostWindow\."
HOST_SESSION_W = r"^wine\.(HostWindow|HostSession)\."
HOST_SHEET_W = r"^wine\.(HostWindow|HostSession|HostDemo)\."
HOST_PATHS_W = r"^wine\.(HostWindow|HostCommandLine)\."
HOST_MODULE_W = r"^wine\.(HostCommandLine|HostWindow)\."

# host/panel.cpp: the tools laid out in the panel.
F = "host/panel.cpp"
mutant("panel-tool-limit", F,
       "if (host.tools.size() >= SETTINGS_MAX_TOOLS) {", "if (host.tools.size() > SETTINGS_MAX_TOOLS) {",
       "the panel takes a tool beyond its limit, which the settings file cannot keep",
       None, HOST_WINDOW_W)
mutant("panel-fit-width-only", F,
       "std::max(maxHeight, 1), 0, size};", "std::max(maxHeight, 0xFFFF), 0, size};",
       "tools are fitted to the panel's width only: a lower window leaves them their height",
       None, HOST_SESSION_W)
mutant("panel-share-ignored", F,
       "int maxHeight = std::min(std::max(share, 1), PanelScaled(kMaxToolHeight));",
       "int maxHeight = std::max(std::max(share, 1), PanelScaled(kMaxToolHeight));",
       "each tool may take the greatest height, or its share of the panel's when that is more",
       None, HOST_SESSION_W)
mutant("panel-not-centred", F,
       "int x = margin + std::max<int>((width - s.cx) / 2, 0);", "int x = margin;",
       "a tool narrower than the panel sits at its left edge",
       None, HOST_SESSION_W)
mutant("panel-no-gap", F,
       "y += s.cy + gap;", "y += s.cy;",
       "tools touch one another",
       None, HOST_SESSION_W)
mutant("panel-width-byte", F,
       "return {static_cast<LONG>(packed & 0xFFFF),", "return {static_cast<LONG>(packed & 0xFF),",
       "a fitted width loses its high byte",
       None, HOST_SESSION_W)
mutant("panel-add-unplaced", F,
       "    host.tools.push_back(tool);\n    LayoutPanel();\n", "    host.tools.push_back(tool);\n",
       "a new tool keeps the no size it was made with until the panel is laid out again",
       None, HOST_SESSION_W)
mutant("panel-remove-no-layout", F,
       "    DestroyWindow(tool);\n    LayoutPanel();\n", "    DestroyWindow(tool);\n",
       "the tools left after a removal keep their places and sizes",
       None, HOST_SESSION_W)
mutant("panel-brush-leak", F,
       "    DeleteObject(background);\n", "",
       "every paint of the panel leaks its brush",
       None, HOST_WINDOW_W)
mutant("panel-properties-dropped", F,
       "return SendMessageA(host.mainWindow, msg, wParam, lParam);", "return 0;",
       "a tool's Properties item is not handed on: no sheet opens",
       None, HOST_SESSION_W)
mutant("panel-tool-number", F,
       "static_cast<int>(it - host.tools.begin()) + 1;", "static_cast<int>(it - host.tools.begin());",
       "tools are numbered from 0, so the first is taken for no tool",
       None, HOST_SESSION_W)
mutant("panel-layout-empty", F,
       "if (!host.panel || host.tools.empty()) {", "if (!host.panel) {",
       "an empty panel is laid out, dividing by its tool count of 0",
       None, HOST_SESSION_W)
mutant("panel-refresh-one-way", F,
       "if (before.right != s.cx || before.bottom != s.cy) {",
       "if (before.right != s.cx && before.bottom != s.cy) {",
       "a tool resized in one direction only is not drawn anew, showing its old keys",
       None, HOST_WINDOW_W)
mutant("panel-add-header-stale", F,
       "    InvalidateRect(host.mainWindow, nullptr, FALSE);  // the tool count in the header\n", "",
       "Add Tool leaves the header's tool count as it was",
       None, HOST_WINDOW_W)
mutant("panel-gap-shrinks", F,
       "gap = PanelScaled(kGap);", "gap = MulDiv(kGap, 96, static_cast<int>(WindowDpi(host.panel)));",
       "above 96 dots per inch the gap between two tools shrinks",
       None, HOST_WINDOW_W)

# host/sheet.cpp: the property sheet around a tool's page.
F = "host/sheet.cpp"
mutant("sheet-same-tool-reopened", F,
       "    if (host.sheet && host.sheetTool == tool) {\n        SetForegroundWindow(host.sheet);\n"
       "        return;\n    }\n", "",
       "asking again for the open sheet's tool closes it, with its edits, and opens another",
       None, HOST_WINDOW_W)
mutant("sheet-other-tool", F,
       "if (host.sheet && host.sheetTool == tool) {", "if (host.sheet) {",
       "another tool's Properties bring the open sheet forward, which edits the first tool",
       None, HOST_SESSION_W)
mutant("sheet-not-a-tool", F,
       "    if (ToolNumber(tool) == 0) {\n        return;  // not one of the panel's tools\n    }\n", "",
       "a request naming a window that is not a tool closes the open sheet and asks that window for a page",
       None, HOST_WINDOW_W)
mutant("sheet-old-left-open", F,
       "    ClosePropertySheet();\n    std::string caption", "    std::string caption",
       "a second tool's sheet opens beside the first, whose page is forgotten",
       None, HOST_SESSION_W)
mutant("sheet-apply-no-layout", F,
       "        LayoutPanel();\n        SendMessageA(host.sheetTool, PNM_REFRESH",
       "        SendMessageA(host.sheetTool, PNM_REFRESH",
       "an applied octave count leaves the tool at its old proportion",
       None, HOST_SESSION_W)
mutant("sheet-ok-no-apply", F,
       "if ((id == IDOK || id == IDC_SHEET_APPLY) &&", "if ((id == IDC_SHEET_APPLY) &&",
       "OK closes the sheet without applying its edits",
       None, HOST_SHEET_W)
mutant("sheet-apply-closes", F,
       "if (id == IDOK || id == IDCANCEL) {", "if (id == IDOK || id == IDCANCEL || id == IDC_SHEET_APPLY) {",
       "Apply closes the sheet as OK does",
       None, HOST_SESSION_W)
mutant("sheet-font-leak", F,
       "    if (host.sheetFont) {\n        DeleteObject(host.sheetFont);\n", "    if (host.sheetFont) {\n",
       "every sheet closed leaks its buttons' font",
       None, HOST_WINDOW_W)
mutant("sheet-dpi-font-swapped", F,
       "        DeleteObject(old);\n", "        DeleteObject(host.sheetFont);\n",
       "a sheet moved to a screen of other dots per inch deletes its new font, not the old",
       None, HOST_WINDOW_W)
mutant("sheet-page-tab-skipped", F,
       "    SetWindowLongPtrA(page, GWL_EXSTYLE,\n"
       "                      GetWindowLongPtrA(page, GWL_EXSTYLE) | WS_EX_CONTROLPARENT);\n", "",
       "Tab from the sheet's buttons passes over the page's fields",
       None, HOST_WINDOW_W)
mutant("sheet-frame-tab-skipped", F,
       "WS_EX_CONTROLPARENT, kContainerClass,", "0, kContainerClass,",
       "Tab from the sheet's buttons passes over the page's frame and the fields in it",
       None, HOST_WINDOW_W)
mutant("sheet-button-shrinks", F,
       "buttonHeight = Scaled(kButtonHeight, dpi);",
       "buttonHeight = MulDiv(kButtonHeight, 96, static_cast<int>(dpi));",
       "above 96 dots per inch the sheet's buttons are lower",
       None, HOST_WINDOW_W)
mutant("sheet-page-left", F,
       "    if (page && IsWindow(page)) {\n        DestroyWindow(page);\n    }\n", "",
       "closing the sheet leaves its page to go with the sheet",
       None, HOST_SESSION_W,
       equivalent="the page is a child of the sheet's frame, so the sheet's DestroyWindow, in the "
                  "same call, destroys it; the host's record of both is cleared before either")

# host/mainwindow.cpp: the main window's tool handling and its header.
F = "host/mainwindow.cpp"
mutant("main-properties-ignored", F,
       "    case PNM_SHOWPROPERTIES:  // handed on by the panel\n"
       "        OpenPropertySheet(reinterpret_cast<HWND>(wParam));\n",
       "    case PNM_SHOWPROPERTIES:  // handed on by the panel\n",
       "the main window drops the Properties request the panel hands it",
       None, HOST_SESSION_W)
mutant("main-remove-keeps-sheet", "host/panel.cpp",
       "    if (host.sheetTool == tool) {\n        ClosePropertySheet();\n    }\n", "",
       "Remove Last Tool leaves the removed tool's sheet open",
       None, HOST_SESSION_W)
mutant("main-remove-first", "host/panel.cpp",
       "back();\n    if (host.sheetTool == tool) {\n        ClosePropertySheet();\n    }\n    host.tools.pop_back();",
       "front();\n    if (host.sheetTool == tool) {\n        ClosePropertySheet();\n    }\n"
       "    host.tools.erase(host.tools.begin());",
       "Remove Last Tool removes the first",
       None, HOST_SESSION_W)
mutant("main-quit-keeps-sheet", F,
       "    ClosePropertySheet();\n    std::vector<HWND> tools = host.tools;",
       "    std::vector<HWND> tools = host.tools;",
       "quitting with a sheet open destroys the tools under their page and leaks the sheet's font",
       None, HOST_WINDOW_W)
mutant("main-panel-height", F,
       "height > header ? height - header : 0", "height",
       "the panel is as high as the whole client area, so the lowest tools go below the window",
       None, HOST_SESSION_W)
mutant("main-header-font-leak", F,
       "    DeleteObject(bold);\n", "",
       "every paint of the header leaks its bold font",
       None, HOST_WINDOW_W)
mutant("main-header-font-selected", F,
       "    SelectObject(hdc, oldFont);\n    DeleteObject(bold);\n    DeleteObject(normal);\n",
       "    DeleteObject(bold);\n    DeleteObject(normal);\n    SelectObject(hdc, oldFont);\n",
       "the header's fonts are deleted before the normal one is selected out of the paint context",
       None, HOST_WINDOW_W)
mutant("main-header-dc-leak", F,
       "        SelectObject(mem, old);\n        DeleteDC(mem);\n", "        SelectObject(mem, old);\n",
       "every paint of the header leaks the memory DC of the type's image",
       None, HOST_WINDOW_W)
mutant("main-remove-closes-any-sheet", "host/panel.cpp",
       "    if (host.sheetTool == tool) {\n", "    if (host.sheet) {\n",
       "Remove Last Tool closes another tool's sheet too, dropping its edits",
       None, HOST_SESSION_W)
mutant("main-maximized-forgotten", F,
       "wp.showCmd == SW_SHOWMAXIMIZED ? static_cast<uint32_t>(LAYOUT_MAXIMIZED) : 0u}", "0u}",
       "a window maximised at the save is saved as a normal one",
       None, HOST_SESSION_W)
mutant("main-maximized-not-restored", F,
       "(layout.flags & LAYOUT_MAXIMIZED) && mayMaximize ?",
       "(layout.flags & LAYOUT_MAXIMIZED) && !mayMaximize ?",
       "a window saved maximised opens at its normal size",
       None, HOST_SESSION_W)
mutant("main-placement-off-screen", F,
       "MonitorFromRect(&onScreen, MONITOR_DEFAULTTONULL)",
       "MonitorFromRect(&onScreen, MONITOR_DEFAULTTONEAREST)",
       "a saved place on no screen any more (a monitor unplugged) is taken: brought into reach "
       "by the system, at the size of that other screen rather than the first",
       None, HOST_WINDOW_W)
mutant("main-min-height-headerless", F,
       "RECT rc = {0, 0, panel.cx, panel.cy + HeaderHeight(hwnd)};",
       "RECT rc = {0, 0, panel.cx, panel.cy};",
       "the smallest window leaves out the header, so the lowest tools go below it",
       None, HOST_WINDOW_W)
mutant("main-header-shrinks", F,
       "return Scaled(kHeaderHeight, WindowDpi(hwnd));",
       "return MulDiv(kHeaderHeight, 96, static_cast<int>(WindowDpi(hwnd)));",
       "above 96 dots per inch the header is lower",
       None, HOST_WINDOW_W)
mutant("main-first-size-shrinks", F,
       "r.bottom = r.top + Scaled(r.bottom - r.top, dpi);",
       "r.bottom = r.top + MulDiv(r.bottom - r.top, 96, static_cast<int>(dpi));",
       "above 96 dots per inch the window's first height is less",
       None, HOST_WINDOW_W)
mutant("main-header-image-selected", F,
       "        SelectObject(mem, old);\n        DeleteDC(mem);\n",
       "        DeleteDC(mem);\n        SelectObject(mem, old);\n",
       "the header's memory DC is deleted with the type's image still selected into it",
       None, HOST_WINDOW_W,
       equivalent="deleting the DC lets go of the image, which the host neither deletes nor "
                  "selects elsewhere; the late SelectObject on the deleted DC does nothing")

# host/hostmain.cpp, host/dpi.cpp: the run and the screen's dots per inch.
mutant("run-no-first-tool", "host/hostmain.cpp",
       "    } else {\n        AddTool(nullptr);\n    }\n", "    }\n",
       "a first start, with no settings file, shows an empty panel",
       None, HOST_SESSION_W)
mutant("dpi-screen-dc", "host/dpi.cpp",
       "    ReleaseDC(nullptr, screen);  // none taken: nothing done\n", "",
       "every look at the system's dots per inch keeps the screen's DC",
       None, HOST_WINDOW_W)
mutant("dpi-scaled-inverse", "host/dpi.cpp",
       "return MulDiv(pixels, static_cast<int>(dpi), 96);",
       "return MulDiv(pixels, 96, static_cast<int>(dpi));",
       "above 96 dots per inch everything the host sizes itself shrinks",
       None, HOST_WINDOW_W)

# host/text.cpp: paths and text.
F = "host/text.cpp"
mutant("text-folder-forward-slash", F,
       "path.substr(0, slash + 1);", "path.substr(0, slash) + \"/\";",
       "a folder is written with a forward slash before the name that follows it",
       None, HOST_PATHS_W)
mutant("text-folder-backslash-only", F,
       "path.find_last_of(\"\\\\/\");", "path.find_last_of('\\\\');",
       "a path written with forward slashes has no folder",
       None, HOST_PATHS_W)
mutant("text-utf8-terminator", F,
       "int size = static_cast<int>(wide.size());", "int size = -1;",
       "UTF-8 text keeps the terminating NUL of the UTF-16 it came from",
       None, HOST_PATHS_W)
mutant("text-arguments-program", F,
       "for (int i = 1; argv && i < count; i++) {", "for (int i = 0; argv && i < count; i++) {",
       "the program's own name is taken as its first argument",
       None, HOST_PATHS_W)

# host/module.cpp: loading the module and taking its type.
F = "host/module.cpp"
mutant("module-missing-code", F,
       "        return HOST_EXIT_NO_MODULE;", "        return HOST_EXIT_NO_EXPORT;",
       "a module that does not load ends the host with the code of a missing export",
       None, HOST_MODULE_W)
mutant("module-resolve-goes-on", F,
       "!ResolveEntryPoint(t.initName, &t.init) || !ResolveEntryPoint(t.createName, &t.create) ||",
       "!ResolveEntryPoint(t.initName, &t.init) | !ResolveEntryPoint(t.createName, &t.create) |",
       "the entry points are looked for after one is missing, with a box for each",
       None, HOST_MODULE_W)
mutant("module-no-export-code", F,
       "&t.cleanup)) {\n        return HOST_EXIT_NO_EXPORT;", "&t.cleanup)) {\n        return HOST_EXIT_NO_TYPE;",
       "a reported entry point that is not exported ends the host with the code of a missing type",
       None, HOST_MODULE_W)
mutant("module-kept-on-fault", F,
       "    if (code != HOST_EXIT_OK && host.module) {\n        FreeLibrary(host.module);\n",
       "    if (code != HOST_EXIT_OK && host.module) {\n",
       "a module that cannot serve is not let go",
       None, HOST_MODULE_W,
       equivalent="every caller of OpenHost ends its process on a fault, which lets the module go")

# host/careful_file.cpp, host/settings.cpp, host/hooks.cpp: the settings
# file's careful calls, the host's own leftovers, and what it asks and tells.
HOST_FILES_W = r"^wine\.(HostFileSweep|HostSettingsFile|HostSession)\."
F = "host/careful_file.cpp"
mutant("file-flush-unchecked", F,
       "    } else if (!FlushFileBuffers(f)) {", "    } else if (!FlushFileBuffers(f) && false) {",
       "a flush that fails is taken as done, so a power cut can lose what was saved",
       None, HOST_FILES_W)
mutant("file-temp-kept-on-failure", F,
       "    DeleteRetried(temp);\n    *error = \"The new file\\n\" + temp + \"\\ncould not be \" + failed;",
       "    *error = \"The new file\\n\" + temp + \"\\ncould not be \" + failed;",
       "a temporary file whose write failed is left behind",
       None, HOST_FILES_W)
mutant("file-replace-no-put-back", F,
       "            MoveRetried(*copy, path, 0);\n", "",
       "a replace that moved the old file aside but not the new one in leaves no settings file",
       None, HOST_FILES_W)
mutant("file-live-temporary", F,
       "GENERIC_READ, FILE_SHARE_DELETE, nullptr,", "GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,",
       "a temporary file another holds open for reading is taken for a gone host's",
       None, HOST_FILES_W)
F = "host/settings_leftovers.cpp"
mutant("settings-ended-prefix", F,
       "number >= 2 && number <= 99;", "number >= 2;",
       "a name like <name>.<many digits>.ended is taken for the host's own",
       None, HOST_FILES_W)
mutant("file-temp-name-wide", F,
       "pattern[0] == '#' ? number <= 0xFFFFFFFFu :", "pattern[0] == '#' ? true :",
       "a temporary name with more digits than a process number is taken as the host's",
       None, HOST_FILES_W)
mutant("settings-foreign-bytes", F,
       "left.error != ERROR_SUCCESS || !BeginsAsOurs(left.bytes)) {",
       "left.error != ERROR_SUCCESS || !BeginsAsOurs({})) {",
       "a leftover whose name is the host's but whose bytes are not is removed anyway",
       None, HOST_FILES_W)
mutant("settings-newer-temporary", F,
       "        } else if (status == SETTINGS_NEWER_VERSION) {\n            TellLeftAlone(left,",
       "        } else if (false) {\n            TellLeftAlone(left,",
       "a newer host's temporary file, which this host cannot decode, is removed",
       None, HOST_FILES_W)
mutant("settings-later-temporary", F,
       "bool later = CompareFileTime(&own, &left.written) > 0;", "bool later = own.dwLowDateTime || true;",
       "a whole temporary file written after the settings file is removed",
       None, HOST_FILES_W)
F = "host/settings.cpp"
mutant("settings-not-ours-set-aside", F,
       "    if (!BeginsAsOurs(bytes)) {", "    if (false) {",
       "a file at the settings path that is no settings file is set aside and saved over",
       None, HOST_FILES_W)
mutant("settings-not-ours-quit-silent", F,
       "if (notOurs && occasion == SAVE_BY_USER) {", "if (false) {",
       "quitting says nothing of the settings that cannot go to a file that is not the host's",
       None, HOST_FILES_W)
mutant("settings-ended-marker-only", F,
       "        if (KeepApart(bytes, occasion, &unused)) {",
       "        if (false && KeepApart(bytes, occasion, &unused)) {",
       "a session's end whose replace fails leaves only the marker, its settings lost",
       None, HOST_FILES_W)
mutant("settings-kept-apart-again", F,
       "    if (!keptApart.empty()) {\n        return WriteFileAtomically",
       "    if (false) {\n        return WriteFileAtomically",
       "a session that keeps its settings apart makes a new copy, and shows its box again, at every later save",
       None, HOST_FILES_W)
mutant("settings-kept-apart-saved-over", F,
       "WriteFileAtomically(keptApart, bytes, &error)", "WriteFileAtomically(host.settingsPath, bytes, &error)",
       "a later save of a session that keeps its settings apart goes over the file it keeps apart from",
       None, HOST_FILES_W)
mutant("settings-box-at-session-end", F,
       "            if (occasion != SAVE_AT_SESSION_END) {\n                std::string why =",
       "            {\n                std::string why =",
       "the settings kept apart as the session ends are told in a box there",
       None, HOST_FILES_W)
mutant("settings-place-local-data", "host/settings_place.cpp",
       "CSIDL_APPDATA | CSIDL_FLAG_CREATE", "CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE",
       "the settings are looked for in the local application data, not the roaming one",
       None, HOST_FILES_W)
F = "host/hooks.cpp"
mutant("hooks-default-yes", F,
       "MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;", "MB_YESNO | MB_ICONWARNING) == IDYES;",
       "Enter answers Yes to saving over a file the host did not write",
       None, HOST_FILES_W)
mutant("hooks-box-unowned", F,
       "MessageBoxW(host.mainWindow, Wide(text).c_str()", "MessageBoxW(nullptr, Wide(text).c_str()",
       "the host's message boxes have no owner, so its window goes on taking clicks under them",
       None, HOST_WINDOW_W)
