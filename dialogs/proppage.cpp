// The property page: octaves, output device, voice and volume of one tool.
#include "dialogs/dialogs.h"

#include <commctrl.h>

#include <climits>

#include "include/morva.h"
#include "keyboard/layout.h"
#include "keyboard/render.h"
#include "keyboard/sound.h"
#include "resources/resource.h"

namespace {

constexpr int kDeviceNameSize = 256;
constexpr int kVoiceNameSize = 50;

ToolInstance* pPageTarget;  // set by PNM_CREATEPROPPAGE, cleared when its tool is destroyed

// The page keeps no record of its own: it always edits the module's page
// target, which the tool sets before it creates the page and clears when it
// is destroyed. Without a target the page applies nothing.
ToolInstance* PageTarget()
{
    return pPageTarget;
}

// After anything that may show a message box (whose loop runs the host's
// messages) the tool may be gone or the page retargeted; the rest of the
// apply then belongs to nobody.
bool StillTarget(const ToolInstance* record)
{
    return pPageTarget == record;
}

LRESULT SendItem(HWND page, int id, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0)
{
    return SendDlgItemMessageA(page, id, msg, wParam, lParam);
}

// An entry that could not be given its number goes again: its item data
// would read as 0 and choose device or program 0.
void AddNumberedEntry(HWND page, int id, const char* name, UINT number)
{
    LRESULT entry = SendItem(page, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    if (entry >= 0 && SendItem(page, id, CB_SETITEMDATA, static_cast<WPARAM>(entry), number) < 0) {
        SendItem(page, id, CB_DELETESTRING, static_cast<WPARAM>(entry));
    }
}

// Whether the page's octave field was given the stored count is kept with
// the page itself: another tool's page may be opened meanwhile.
void MarkOctavesShown(HWND page, bool shown)
{
    SetWindowLongPtrA(page, DWLP_USER, shown ? 1 : 0);
}

bool OctavesShown(HWND page)
{
    return GetWindowLongPtrA(page, DWLP_USER) != 0;
}

void ShowDeviceNames(HWND page, const ToolInstance* record)
{
    for (UINT device = 0; device < OutputDeviceCount(); device++) {
        char name[kDeviceNameSize] = "";
        UINT result = GetOutputDeviceName(record, device, name);
        if (!StillTarget(record)) {
            return;
        }
        if (result != MMSYSERR_NOERROR) {
            continue;  // the MIDI layer has told the user why
        }
        AddNumberedEntry(page, IDC_DEVICE, name, device);
    }
}

// Entries carry their device numbers: a device whose name could not be read
// is missing, so positions and numbers may differ.
void SelectDevice(HWND page, int32_t deviceNumber)
{
    if (deviceNumber < 0 || static_cast<UINT>(deviceNumber) >= OutputDeviceCount()) {
        return;
    }
    LRESULT count = SendItem(page, IDC_DEVICE, CB_GETCOUNT);
    for (LRESULT entry = 0; entry < count; entry++) {
        if (SendItem(page, IDC_DEVICE, CB_GETITEMDATA, static_cast<WPARAM>(entry)) ==
            deviceNumber) {
            SendItem(page, IDC_DEVICE, CB_SETCURSEL, static_cast<WPARAM>(entry));
            return;
        }
    }
}

// The entry that carries the program, as with the devices.
void SelectVoice(HWND page, int32_t voice)
{
    if (voice < 0 || voice >= VOICE_LIST_COUNT) {
        return;
    }
    LRESULT count = SendItem(page, IDC_VOICE, CB_GETCOUNT);
    for (LRESULT entry = 0; entry < count; entry++) {
        if (SendItem(page, IDC_VOICE, CB_GETITEMDATA, static_cast<WPARAM>(entry)) == voice) {
            SendItem(page, IDC_VOICE, CB_SETCURSEL, static_cast<WPARAM>(entry));
            return;
        }
    }
}

// Fills the page's voice box with the General MIDI names it offers, in
// program order. Each entry carries its program number: a name the box
// would not take is missing, and the later ones move up.
void FillVoiceList(HWND page)
{
    for (int program = 0; program < VOICE_LIST_COUNT; program++) {
        char name[kVoiceNameSize] = "";
        LoadStringA(TemplateInstance(page), IDS_VOICE_FIRST + program, name, kVoiceNameSize);
        AddNumberedEntry(page, IDC_VOICE, name, static_cast<UINT>(program));
    }
}

INT_PTR InitPropPage(HWND page)
{
    ToolInstance* record = PageTarget();
    const bool octavesShown =
        record && SetDlgItemInt(page, IDC_OCTAVES, static_cast<UINT>(record->state.octaves), FALSE);
    MarkOctavesShown(page, octavesShown);
    SendItem(page, IDC_OCTAVES_SPIN, UDM_SETRANGE, 0, MAKELONG(MAX_OCTAVES, 1));
    SendItem(page, IDC_VOLUME_SPIN, UDM_SETRANGE, 0, MAKELONG(100, 0));
    if (record) {
        SetDlgItemInt(page, IDC_VOLUME,
                      static_cast<UINT>(static_cast<int32_t>(record->state.volume)), FALSE);
    }
    SendItem(page, IDC_DEVICE, CB_RESETCONTENT);
    SendItem(page, IDC_VOICE, CB_RESETCONTENT);
    if (record) {
        ShowDeviceNames(page, record);
    }
    // A message box of the device list may have outlived the tool.
    record = PageTarget();
    if (record) {
        SelectDevice(page, record->state.deviceNumber);
    }
    FillVoiceList(page);
    if (record) {
        SelectVoice(page, record->state.voice);
    }
    return TRUE;
}

// What the controls hold when the host applies the page. Everything is read
// before anything is done, so that message boxes shown along the way cannot
// change what this apply writes.
struct PageEdits {
    BOOL volumeRead;
    UINT volume;
    int32_t octaves;
    bool deviceChosen;
    int32_t deviceNumber;
    int32_t voice;  // -1 when no voice entry is selected
};

// The octave field can only be changed through its arrows, but it starts
// from the stored count, which a restored block may carry out of range. A
// field that holds no number counts as zero, unless the count could never be
// shown in it: then it changes nothing.
int32_t ReadOctaves(HWND page, int32_t stored)
{
    BOOL read = FALSE;
    auto octaves = static_cast<int32_t>(GetDlgItemInt(page, IDC_OCTAVES, &read, FALSE));
    if (!read) {
        return OctavesShown(page) ? 0 : stored;
    }
    if (octaves > MAX_OCTAVES || octaves < 0) {
        return 1;
    }
    return octaves;
}

// An entry below the device count whose item data is a device number; the
// edit field of the box may hold text that selects nothing.
bool ReadDeviceChoice(HWND page, int32_t* deviceNumber)
{
    LRESULT entry = SendItem(page, IDC_DEVICE, CB_GETCURSEL);
    if (entry < 0 || static_cast<ULONGLONG>(entry) >= OutputDeviceCount()) {
        return false;
    }
    LRESULT data = SendItem(page, IDC_DEVICE, CB_GETITEMDATA, static_cast<WPARAM>(entry));
    if (data < 0 || data > INT_MAX) {
        return false;
    }
    *deviceNumber = static_cast<int32_t>(data);
    return true;
}

int32_t ReadVoiceChoice(HWND page)
{
    LRESULT entry = SendItem(page, IDC_VOICE, CB_GETCURSEL);
    if (entry < 0 || entry >= VOICE_LIST_COUNT) {
        return -1;
    }
    LRESULT program = SendItem(page, IDC_VOICE, CB_GETITEMDATA, static_cast<WPARAM>(entry));
    if (program < 0 || program >= VOICE_LIST_COUNT) {
        return -1;
    }
    return static_cast<int32_t>(program);
}

PageEdits ReadPageEdits(HWND page, const ToolInstance* record)
{
    PageEdits edits = {};
    edits.volume = GetDlgItemInt(page, IDC_VOLUME, &edits.volumeRead, FALSE);
    edits.octaves = ReadOctaves(page, record->state.octaves);
    edits.deviceChosen = ReadDeviceChoice(page, &edits.deviceNumber);
    edits.voice = ReadVoiceChoice(page);
    return edits;
}

// The stored volume is a signed 16-bit value and is compared widened, so
// that a field showing it unchanged is no change.
void ApplyVolumeEdit(ToolInstance* record, const PageEdits& edits)
{
    if (!edits.volumeRead ||
        edits.volume == static_cast<UINT>(static_cast<int32_t>(record->state.volume))) {
        return;
    }
    record->state.volume = static_cast<int16_t>(edits.volume & 0xFFFF);
    ApplyVolume(record);
}

// Runs whenever a device entry is selected, even the one already open: the
// device is closed and opened again. Every note the old device took is ended
// first, a held key's among them. The close is never tried twice, and a
// refused one leaves the record closed (see the MIDI layer), so the chosen
// device is opened either way. The volume was set through the old device, so
// the new one is given it too.
bool ApplyDeviceEdit(ToolInstance* record, const PageEdits& edits)
{
    if (!edits.deviceChosen) {
        return true;
    }
    if (record->midi.hDevice) {
        EndTakenNotes(record, record->hwnd);
        if (!StillTarget(record)) {
            return false;
        }
        CloseToolDevice(record);
        if (!StillTarget(record)) {
            return false;
        }
    }
    record->state.deviceNumber = edits.deviceNumber;
    UINT opened = OpenToolDevice(record);
    if (!StillTarget(record)) {
        return false;
    }
    if (opened == MMSYSERR_NOERROR && record->midi.hDevice) {
        ApplyVolume(record);
    }
    return true;
}

// A selected voice is sent on every apply, changed or not.
bool ApplyVoiceEdit(ToolInstance* record, const PageEdits& edits)
{
    if (edits.voice < 0) {
        return true;
    }
    record->state.voice = edits.voice;
    record->program = static_cast<uint8_t>(edits.voice);
    SendProgramChange(record);
    return StillTarget(record);
}

INT_PTR ApplyPropPage(HWND page)
{
    ToolInstance* record = PageTarget();
    if (!record) {
        return FALSE;
    }
    PageEdits edits = ReadPageEdits(page, record);
    bool layoutChanged = edits.octaves != record->state.octaves;
    ApplyVolumeEdit(record, edits);
    if (!ApplyDeviceEdit(record, edits)) {
        return FALSE;
    }
    layoutChanged = layoutChanged || edits.deviceChosen;
    if (!ApplyVoiceEdit(record, edits)) {
        return FALSE;
    }
    if (layoutChanged) {
        record->state.octaves = edits.octaves;
        LayoutKeyboard(record);
        ShowKeyboard(record);
    }
    return FALSE;
}

INT_PTR OnPageCommand(HWND page, UINT id)
{
    switch (id) {
    case ID_PAGE_APPLY:
        return ApplyPropPage(page);
    case IDM_ABOUT:
        ShowAboutBox(TemplateInstance(page), page);
        return FALSE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK PropPageDlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM)
{
    switch (msg) {
    case WM_INITDIALOG:
        return InitPropPage(hwnd);
    case WM_COMMAND:
        return OnPageCommand(hwnd, LOWORD(wParam));
    case WM_DESTROY:
        return FALSE;
    default:
        return FALSE;
    }
}

}  // namespace

HWND CreatePropPageDialog(HINSTANCE module, HWND container, ToolInstance* target)
{
    pPageTarget = target;
    return CreateDialogParamA(module, MAKEINTRESOURCEA(IDD_PROPPAGE), container, PropPageDlgProc,
                              0);
}

void ForgetPageTarget(const ToolInstance* record)
{
    if (pPageTarget == record) {
        pPageTarget = nullptr;
    }
}
