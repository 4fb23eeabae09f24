// The property page and the About box on the screen: where every control
// lies, in pixels from the dialog units of the templates, and what the
// rendered dialogs look like. The images are written beside the test
// programs, in screenshots/.
#include "tests/wine/harness.h"

#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// Windows gives the metrics of the display's dots per inch only to a program
// that declares itself aware of them, as hosts that show the module at a
// larger setting do; others get those of 96 dpi, scaled up as bitmaps. So
// this program declares it before it makes any window.
const BOOL kDpiAware = SetProcessDPIAware();

// The dots per inch the user chose (96 when never set), and those the
// program's screen has.
int ChosenDpi()
{
    DWORD dpi = 0, size = sizeof dpi;
    LONG found = RegGetValueA(HKEY_CURRENT_USER, "Control Panel\\Desktop", "LogPixels",
                              RRF_RT_REG_DWORD, nullptr, &dpi, &size);
    return found == ERROR_SUCCESS ? static_cast<int>(dpi) : 96;
}

int ScreenDpi()
{
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

// A control as the templates place it, in dialog units.
struct ControlPlace {
    int id;
    const char* cls;
    int x, y, w, h;
};

const ControlPlace kPageControls[] = {
    {IDC_OCTAVES_LABEL, "Static", 20, 4, 26, 8},
    {IDC_OCTAVES, "Static", 19, 14, 23, 10},
    {IDC_OCTAVES_SPIN, "msctls_updown32", 43, 12, 7, 14},
    {IDC_DEVICE_LABEL, "Static", 16, 36, 38, 8},
    {IDC_DEVICE, "ComboBox", 16, 46, 93, 40},
    {IDC_VOICE_LABEL, "Static", 16, 69, 20, 8},
    {IDC_VOICE, "ComboBox", 16, 78, 93, 67},
    {IDM_ABOUT, "Button", 170, 78, 89, 15},
    {IDC_VOLUME_LABEL, "Static", 76, 4, 26, 8},
    {IDC_VOLUME, "Static", 75, 14, 23, 10},
    {IDC_VOLUME_SPIN, "msctls_updown32", 99, 12, 7, 14},
};

const ControlPlace kAboutControls[] = {
    {IDOK, "Button", 68, 73, 50, 14},
    {IDC_TOOLNAME, "Static", 7, 10, 172, 12},
    {IDC_CREDIT1, "Static", 7, 30, 172, 12},
    {IDC_CREDIT2, "Static", 7, 50, 172, 12},
};

// The dialog's base units in pixels, from the font it was made with: four
// horizontal and eight vertical dialog units map to exactly these.
SIZE BaseUnits(HWND dialog)
{
    RECT rc = {0, 0, 4, 8};
    MapDialogRect(dialog, &rc);
    return {rc.right, rc.bottom};
}

// Where the dialog manager puts a rectangle of the template: its position
// and its size are scaled from dialog units and rounded each on its own, so
// the far edges may lie a pixel away from where the template's far edge
// would map whenever the base units do not divide evenly.
RECT DialogRect(SIZE base, int x, int y, int w, int h)
{
    int left = MulDiv(x, base.cx, 4);
    int top = MulDiv(y, base.cy, 8);
    return {left, top, left + MulDiv(w, base.cx, 4), top + MulDiv(h, base.cy, 8)};
}

RECT DialogRect(SIZE base, const ControlPlace& c)
{
    return DialogRect(base, c.x, c.y, c.w, c.h);
}

RECT PlaceIn(HWND dialog, HWND control)
{
    RECT rc;
    GetWindowRect(control, &rc);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

std::string Describe(const RECT& rc)
{
    char text[80];
    snprintf(text, sizeof text, "(%ld, %ld)-(%ld, %ld)", rc.left, rc.top, rc.right, rc.bottom);
    return text;
}

// What one dialog looked like: its controls in z order with their places
// in client pixels, and an image of its client area.
struct Snapshot {
    std::vector<int> order;
    std::vector<std::string> classes;
    std::vector<RECT> places;
    RECT client = {};
    Pixels image;
    std::string caption;
    LONG style = 0;

    const RECT* Place(int id) const
    {
        for (size_t i = 0; i < order.size(); i++) {
            if (order[i] == id) {
                return &places[i];
            }
        }
        return nullptr;
    }
};

Snapshot TakeSnapshot(HWND dialog)
{
    Snapshot s;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char cls[64] = "";
        GetClassNameA(child, cls, sizeof cls);
        s.order.push_back(GetDlgCtrlID(child));
        s.classes.push_back(cls);
        s.places.push_back(PlaceIn(dialog, child));
    }
    char caption[128] = "";
    GetWindowTextA(dialog, caption, sizeof caption);
    s.caption = caption;
    s.style = GetWindowLongA(dialog, GWL_STYLE);
    GetClientRect(dialog, &s.client);
    RedrawWindow(dialog, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    s.image = CaptureClient(dialog);
    return s;
}

// A 32-bit top-down BMP file in screenshots/ beside the test programs.
void WriteBitmapFile(const Pixels& image, const char* name)
{
    CreateDirectoryA("screenshots", nullptr);
    std::string path = std::string("screenshots\\") + name;
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    BITMAPFILEHEADER fh = {};
    BITMAPINFOHEADER ih = {};
    ih.biSize = sizeof ih;
    ih.biWidth = image.width;
    ih.biHeight = -image.height;
    ih.biPlanes = 1;
    ih.biBitCount = 32;
    std::vector<DWORD> bgra;
    for (COLORREF c : image.colours) {
        bgra.push_back((GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c));
    }
    DWORD bytes = static_cast<DWORD>(bgra.size() * 4);
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof ih;
    fh.bfSize = fh.bfOffBits + bytes;
    fwrite(&fh, sizeof fh, 1, f);
    fwrite(&ih, sizeof ih, 1, f);
    fwrite(bgra.data(), 1, bytes, f);
    fclose(f);
}

Pixels Repainted(HWND control)
{
    RedrawWindow(control, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    return CaptureClient(control);
}

// Pixels a control's text puts on the screen: the control as it shows,
// against the same control with its text taken away, which keeps its
// edges and frame. Whatever font the system chose, shown text changes some.
int TextMarks(HWND control)
{
    char text[256] = "";
    GetWindowTextA(control, text, sizeof text);
    Pixels shown = Repainted(control);
    SetWindowTextA(control, "");
    Pixels blank = Repainted(control);
    SetWindowTextA(control, text);
    Repainted(control);
    int marks = 0;
    for (size_t i = 0; i < shown.colours.size() && i < blank.colours.size(); i++) {
        marks += shown.colours[i] != blank.colours[i];
    }
    return marks;
}

// Pixels that are not the plain face of the dialog.
int MarksIn(const Snapshot& s, const RECT& rc)
{
    int marks = 0;
    COLORREF face = GetSysColor(COLOR_BTNFACE);
    for (int y = rc.top; y < rc.bottom; y++) {
        for (int x = rc.left; x < rc.right; x++) {
            marks += s.image.At(x, y) != face;
        }
    }
    return marks;
}

// The controls in z order with their classes are the template's.
void ExpectTemplateOrder(const Snapshot& s, const ControlPlace* controls, size_t count)
{
    std::vector<std::string> shown, listed;
    for (size_t i = 0; i < s.order.size(); i++) {
        shown.push_back(std::to_string(s.order[i]) + " " + s.classes[i]);
    }
    for (size_t i = 0; i < count; i++) {
        listed.push_back(std::to_string(controls[i].id) + " " + controls[i].cls);
    }
    EXPECT_EQ(shown, listed);
}

// Controls whose window is the rectangle of their template entry.
void ExpectPlacedAsTemplate(SIZE base, const Snapshot& s, const ControlPlace& c)
{
    SCOPED_TRACE(c.id);
    const RECT* place = s.Place(c.id);
    ASSERT_NE(place, nullptr);
    EXPECT_EQ(Describe(*place), Describe(DialogRect(base, c)));
}

const size_t kAboutCount = sizeof kAboutControls / sizeof kAboutControls[0];

// The About box is modal: it is looked at from a timer once its loop shows
// it, and then closed with OK.
struct AboutSeen {
    Snapshot snapshot;
    SIZE base;
    int textMarks[kAboutCount];
};
AboutSeen aboutSeen;

void SnapAboutBox(HWND box)
{
    aboutSeen.snapshot = TakeSnapshot(box);
    aboutSeen.base = BaseUnits(box);
    for (size_t i = 0; i < kAboutCount; i++) {
        aboutSeen.textMarks[i] = TextMarks(GetDlgItem(box, kAboutControls[i].id));
    }
    PostMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
}

// The catcher only records the box; the watch answers it.
void LeaveToWatch(HWND) {}

using DialogLayout = MorvaTest;

TEST_F(DialogLayout, AboutBoxPlacesItsControlsFromDialogUnits)
{
    HWND tool = CreateTool(30, 40, 126, 60);
    aboutSeen = {};
    SetDialogInspector(LeaveToWatch);
    WatchForShownDialog("the About box", SnapAboutBox);
    SendMessageA(tool, WM_COMMAND, IDM_ABOUT, 0);
    const Snapshot& s = aboutSeen.snapshot;
    ASSERT_FALSE(s.image.colours.empty()) << "the About box was not seen";
    WriteBitmapFile(s.image, "about_box.bmp");
    const SIZE base = aboutSeen.base;
    RecordProperty("base_units", std::to_string(base.cx) + " x " + std::to_string(base.cy));

    // Measured at the user's setting, not at one the system scales from.
    EXPECT_EQ(ScreenDpi(), ChosenDpi());
    EXPECT_EQ(s.caption, "About Morva...");
    EXPECT_EQ(s.style & (WS_CAPTION | WS_SYSMENU), WS_CAPTION);
    EXPECT_EQ(Describe(s.client), Describe(DialogRect(base, 0, 0, 186, 94)));
    ExpectTemplateOrder(s, kAboutControls, kAboutCount);
    for (size_t i = 0; i < kAboutCount; i++) {
        ExpectPlacedAsTemplate(base, s, kAboutControls[i]);
        EXPECT_GT(aboutSeen.textMarks[i], 0) << kAboutControls[i].id << " shows no text";
    }
    // The bands between the lines and beside the OK button are bare.
    const RECT ok = DialogRect(base, kAboutControls[0]), name = DialogRect(base, kAboutControls[1]),
               credit1 = DialogRect(base, kAboutControls[2]),
               credit2 = DialogRect(base, kAboutControls[3]);
    EXPECT_EQ(MarksIn(s, {name.left, name.bottom, name.right, credit1.top}), 0);
    EXPECT_EQ(MarksIn(s, {name.left, credit1.bottom, name.right, credit2.top}), 0);
    EXPECT_EQ(MarksIn(s, {name.left, credit2.bottom, name.right, ok.top}), 0);
    EXPECT_EQ(MarksIn(s, {0, ok.top, ok.left, ok.bottom}), 0);
    EXPECT_EQ(MarksIn(s, {ok.right, ok.top, s.client.right, ok.bottom}), 0);
}

TEST_F(DialogLayout, PropertyPagePlacesItsControlsFromDialogUnits)
{
    HWND sheet = CreatePageContainer(host, 20, 20, 500, 300);
    HWND tool = CreateTool(0, 0, 96, 20);
    HWND page = OpenPropertyPage(tool, sheet, 5, 10);
    ASSERT_NE(page, nullptr);
    Snapshot s = TakeSnapshot(page);
    WriteBitmapFile(s.image, "property_page.bmp");
    const SIZE base = BaseUnits(page);
    RecordProperty("base_units", std::to_string(base.cx) + " x " + std::to_string(base.cy));

    EXPECT_EQ(Describe(s.client), Describe(DialogRect(base, 0, 0, 280, 100)));
    // The order matters: each up-down takes the control before it as buddy.
    ExpectTemplateOrder(s, kPageControls, sizeof kPageControls / sizeof kPageControls[0]);
    for (const ControlPlace& c : kPageControls) {
        if (strcmp(c.cls, "Static") == 0 && c.id != IDC_OCTAVES && c.id != IDC_VOLUME) {
            ExpectPlacedAsTemplate(base, s, c);
            EXPECT_GT(TextMarks(GetDlgItem(page, c.id)), 0) << c.id;
        }
    }
    ExpectPlacedAsTemplate(base, s, kPageControls[7]);  // the About button
    EXPECT_GT(TextMarks(GetDlgItem(page, IDM_ABOUT)), 0);

    // The drop-down boxes keep their place and width; their height is the
    // field's, and the list drops from the same top.
    for (int id : {IDC_DEVICE, IDC_VOICE}) {
        SCOPED_TRACE(id);
        RECT want = DialogRect(base, id == IDC_DEVICE ? kPageControls[4] : kPageControls[6]);
        const RECT& got = *s.Place(id);
        EXPECT_EQ(Describe(got), Describe({want.left, want.top, want.right, got.bottom}));
        EXPECT_LT(got.bottom, want.bottom);
        RECT dropped;
        SendDlgItemMessageA(page, id, CB_GETDROPPEDCONTROLRECT, 0,
                            reinterpret_cast<LPARAM>(&dropped));
        MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&dropped), 2);
        EXPECT_EQ(Describe(dropped), Describe({want.left, want.top, want.right, dropped.bottom}));
        EXPECT_GT(dropped.bottom, got.bottom);
    }

    // Each up-down sits at the right end of its sunken field, which gives up
    // the room; together they fill the field's template rectangle.
    struct Pair {
        int field;
        int spin;
        const ControlPlace& place;
    } const pairs[] = {{IDC_OCTAVES, IDC_OCTAVES_SPIN, kPageControls[1]},
                       {IDC_VOLUME, IDC_VOLUME_SPIN, kPageControls[9]}};
    for (const Pair& p : pairs) {
        SCOPED_TRACE(p.field);
        EXPECT_EQ(SendDlgItemMessageA(page, p.spin, UDM_GETBUDDY, 0, 0),
                  reinterpret_cast<LRESULT>(GetDlgItem(page, p.field)));
        RECT want = DialogRect(base, p.place);
        const RECT& field = *s.Place(p.field);
        const RECT& spin = *s.Place(p.spin);
        EXPECT_EQ(Describe(field), Describe({want.left, want.top, field.right, want.bottom}));
        EXPECT_LT(field.right, want.right);
        EXPECT_NEAR(spin.left, field.right, 2);
        EXPECT_NEAR(spin.right, want.right, 2);
        EXPECT_EQ(spin.top, want.top);
        EXPECT_EQ(spin.bottom, want.bottom);
        // The field shows its number inside a sunken edge.
        EXPECT_GT(TextMarks(GetDlgItem(page, p.field)), 0);
    }

    // Between the lists and the About button the page is bare.
    RECT gap = DialogRect(base, 112, 30, 55, 45);
    EXPECT_EQ(MarksIn(s, gap), 0);
}

}  // namespace
