// The keyboard as the screen shows it: layout on size and move, the rendered
// back buffer, and paints that copy it after telling the host.
#include <climits>
#include <cstring>
#include <set>
#include <string>

#include "tests/wine/harness.h"
#include "tests/wine/record.h"

namespace {

const COLORREF kWhite = RGB(255, 255, 255);
const COLORREF kBlack = RGB(0, 0, 0);
const COLORREF kGreen = RGB(0, 255, 0);

void Repaint(HWND tool)
{
    InvalidateRect(tool, nullptr, FALSE);
    UpdateWindow(tool);
}

// The numbers from `from` to `to` inclusive that `pick` takes.
template <typename Pick>
std::vector<int> Where(int from, int to, Pick pick)
{
    std::vector<int> found;
    for (int i = from; i <= to; i++) {
        if (pick(i)) {
            found.push_back(i);
        }
    }
    return found;
}

std::vector<int> Range(int from, int to)
{
    return Where(from, to, [](int) { return true; });
}

// Columns of row y, from `from` to `to` inclusive, that show `colour`; and
// rows of column x.
std::vector<int> ColumnsOf(const Pixels& p, COLORREF colour, int y, int from, int to)
{
    return Where(from, to, [&](int x) { return p.At(x, y) == colour; });
}

std::vector<int> RowsOf(const Pixels& p, COLORREF colour, int x, int from, int to)
{
    return Where(from, to, [&](int y) { return p.At(x, y) == colour; });
}

// A picture of the pixels for failure messages: # black, . white, g green,
// letters for the system's edge colours.
std::string Picture(const Pixels& p)
{
    const struct {
        COLORREF colour;
        char mark;
    } marks[] = {{kBlack, '#'},
                 {kWhite, '.'},
                 {kGreen, 'g'},
                 {GetSysColor(COLOR_3DLIGHT), 'l'},
                 {GetSysColor(COLOR_BTNHIGHLIGHT), 'h'},
                 {GetSysColor(COLOR_BTNSHADOW), 's'},
                 {GetSysColor(COLOR_3DDKSHADOW), 'd'}};
    std::string s = "\n";
    for (int y = 0; y < p.height; y++) {
        for (int x = 0; x < p.width; x++) {
            char mark = '?';
            for (const auto& m : marks) {
                if (p.At(x, y) == m.colour) {
                    mark = m.mark;
                    break;
                }
            }
            s += mark;
        }
        s += '\n';
    }
    return s;
}

bool SamePixels(const Pixels& a, const Pixels& b)
{
    return a.width == b.width && a.height == b.height && a.colours == b.colours;
}

// The frame's two rings at the middle of each side: the outer and inner ones
// on the left and top, then the inner and outer ones on the right and bottom.
void ExpectFrame(const Pixels& p, COLORREF outerTopLeft, COLORREF innerTopLeft,
                 COLORREF innerBottomRight, COLORREF outerBottomRight)
{
    const int right = p.width - 1, bottom = p.height - 1, x = p.width / 2, y = p.height / 2;
    EXPECT_EQ(p.At(0, y), outerTopLeft) << Picture(p);
    EXPECT_EQ(p.At(x, 0), outerTopLeft);
    EXPECT_EQ(p.At(1, y), innerTopLeft);
    EXPECT_EQ(p.At(x, 1), innerTopLeft);
    EXPECT_EQ(p.At(right - 1, y), innerBottomRight);
    EXPECT_EQ(p.At(x, bottom - 1), innerBottomRight);
    EXPECT_EQ(p.At(right, y), outerBottomRight);
    EXPECT_EQ(p.At(x, bottom), outerBottomRight);
}

// Calls the module makes to the system, seen through its import table.
struct Calls {
    int bitBlt, roundRect, lineTo, solidBrush, memoryDc;
    std::vector<UINT> edges;            // edge kinds, in order
    std::vector<size_t> noticesAtBlit;  // host paint notices received before each copy
    std::vector<HDC> blitTargets;
    std::vector<RECT> blitAreas;
    std::set<HGDIOBJ> liveBitmaps;
    bool failBitmaps;     // CreateCompatibleBitmap returns null
    bool prefillBitmaps;  // new bitmaps start green instead of what GDI gives
} calls;

decltype(&DrawEdge) realDrawEdge;
decltype(&BitBlt) realBitBlt;
decltype(&RoundRect) realRoundRect;
decltype(&LineTo) realLineTo;
decltype(&CreateSolidBrush) realCreateSolidBrush;
decltype(&CreateCompatibleDC) realCreateCompatibleDC;
decltype(&DeleteObject) realDeleteObject;
decltype(&CreateCompatibleBitmap) realCreateCompatibleBitmap;

BOOL WINAPI WatchDrawEdge(HDC hdc, LPRECT rc, UINT edge, UINT flags)
{
    calls.edges.push_back(edge);
    EXPECT_EQ(flags, static_cast<UINT>(BF_RECT | BF_ADJUST));
    return realDrawEdge(hdc, rc, edge, flags);
}

BOOL WINAPI WatchBitBlt(HDC dst, int x, int y, int w, int h, HDC src, int sx, int sy, DWORD rop)
{
    calls.bitBlt++;
    calls.noticesAtBlit.push_back(HostMessages(PNM_PAINTNOTIFY).size());
    calls.blitTargets.push_back(dst);
    calls.blitAreas.push_back({x, y, x + w, y + h});
    EXPECT_EQ(rop, static_cast<DWORD>(SRCCOPY));
    EXPECT_EQ(sx, 0);
    EXPECT_EQ(sy, 0);
    return realBitBlt(dst, x, y, w, h, src, sx, sy, rop);
}

BOOL WINAPI WatchRoundRect(HDC hdc, int l, int t, int r, int b, int w, int h)
{
    calls.roundRect++;
    return realRoundRect(hdc, l, t, r, b, w, h);
}

BOOL WINAPI WatchLineTo(HDC hdc, int x, int y)
{
    calls.lineTo++;
    return realLineTo(hdc, x, y);
}

HBRUSH WINAPI WatchCreateSolidBrush(COLORREF colour)
{
    calls.solidBrush++;
    return realCreateSolidBrush(colour);
}

HDC WINAPI WatchCreateCompatibleDC(HDC hdc)
{
    calls.memoryDc++;
    return realCreateCompatibleDC(hdc);
}

BOOL WINAPI WatchDeleteObject(HGDIOBJ object)
{
    calls.liveBitmaps.erase(object);
    return realDeleteObject(object);
}

HBITMAP WINAPI WatchCreateCompatibleBitmap(HDC hdc, int width, int height)
{
    if (calls.failBitmaps) {
        return nullptr;
    }
    HBITMAP bitmap = realCreateCompatibleBitmap(hdc, width, height);
    calls.liveBitmaps.insert(bitmap);
    if (calls.prefillBitmaps && bitmap) {
        HDC mem = realCreateCompatibleDC(hdc);
        HGDIOBJ old = SelectObject(mem, bitmap);
        HBRUSH green = realCreateSolidBrush(kGreen);
        RECT all = {0, 0, width, height};
        FillRect(mem, &all, green);
        realDeleteObject(green);
        SelectObject(mem, old);
        DeleteDC(mem);
    }
    return bitmap;
}

decltype(&GetClientRect) realGetClientRect;
BOOL WINAPI NoClientRect(HWND, LPRECT)
{
    return FALSE;
}

class Rendering : public MorvaTest {
protected:
    void SetUp() override
    {
        MorvaTest::SetUp();
        calls = Calls{};
        Hook("user32.dll", "DrawEdge", &realDrawEdge, &WatchDrawEdge);
        Hook("gdi32.dll", "BitBlt", &realBitBlt, &WatchBitBlt);
        Hook("gdi32.dll", "RoundRect", &realRoundRect, &WatchRoundRect);
        Hook("gdi32.dll", "LineTo", &realLineTo, &WatchLineTo);
        Hook("gdi32.dll", "CreateSolidBrush", &realCreateSolidBrush, &WatchCreateSolidBrush);
        Hook("gdi32.dll", "CreateCompatibleDC", &realCreateCompatibleDC, &WatchCreateCompatibleDC);
        Hook("gdi32.dll", "DeleteObject", &realDeleteObject, &WatchDeleteObject);
        Hook("gdi32.dll", "CreateCompatibleBitmap", &realCreateCompatibleBitmap,
             &WatchCreateCompatibleBitmap);
    }

    void TearDown() override
    {
        MorvaTest::TearDown();
        for (const Hooked& h : hooked) {
            HookImport(morva->dll, h.from, h.function, h.original);
        }
    }

    template <typename F>
    void Hook(const char* from, const char* function, F* original, F replacement)
    {
        void* real = HookImport(morva->dll, from, function, reinterpret_cast<void*>(replacement));
        ASSERT_NE(real, nullptr) << function;
        *original = reinterpret_cast<F>(real);
        hooked.push_back({from, function, real});
    }

    // A tool of width x height whose keyboard is laid out: the size it is
    // created with arrives before its record, so it is moved once.
    HWND LaidOutTool(int width, int height, int32_t octaves, const ToolStateBlock* saved = nullptr)
    {
        HWND tool = CreateTool(20, 20, 20 + width, 20 + height, saved);
        LentBlock(tool)->octaves = octaves;
        MoveWindow(tool, 0, 0, width, height, FALSE);
        PumpMessages();
        Repaint(tool);
        return tool;
    }

    void Resize(HWND tool, int width, int height)
    {
        SetWindowPos(tool, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);
        PumpMessages();
    }

    void ResetCalls()
    {
        calls.bitBlt = calls.roundRect = calls.lineTo = calls.solidBrush = 0;
        calls.edges.clear();
        calls.noticesAtBlit.clear();
        calls.blitTargets.clear();
        calls.blitAreas.clear();
        HostMessages().clear();
    }

    struct Hooked {
        const char* from;
        const char* function;
        void* original;
    };
    std::vector<Hooked> hooked;
};

// The bitmap the module keeps between drawings, as its calls show it: the one
// it made and has not deleted, or null.
HBITMAP KeptBitmap()
{
    EXPECT_LE(calls.liveBitmaps.size(), 1u);
    return calls.liveBitmaps.empty() ? nullptr : static_cast<HBITMAP>(*calls.liveBitmaps.begin());
}

// Every black key's columns, from the key table.
std::set<int> BlackKeyColumns(const ToolStateBlock& block)
{
    std::set<int> xs;
    for (int i = 0; i < block.lastKey; i++) {
        if (block.keys[i].black) {
            for (int x = block.keys[i].left; x < block.keys[i].right; x++) {
                xs.insert(x);
            }
        }
    }
    return xs;
}

TEST_F(Rendering, IdealThreeOctavesShowTheSeparatorsOfTheKeyTable)
{
    HWND tool = LaidOutTool(96, 20, 3);
    const ToolStateBlock& block = *LentBlock(tool);
    ASSERT_EQ(block.lastKey, 36);
    EXPECT_EQ(block.keys[0].right, 6);
    EXPECT_EQ(block.keys[1].left, 4);
    EXPECT_EQ(block.keys[36].left, 89);

    Pixels p = CaptureClient(tool);
    ASSERT_EQ(p.width, 96);
    // Below the black keys a row crosses the board's outline at 2 and 93 and
    // the 21 separators, the eleventh at 47; the top C has none.
    std::vector<int> lower = {2,  6,  10, 14, 18, 22, 27, 31, 35, 39, 43, 47,
                              52, 56, 60, 64, 68, 73, 77, 81, 85, 89, 93};
    EXPECT_EQ(ColumnsOf(p, kBlack, 12, 2, 93), lower) << Picture(p);
    EXPECT_EQ(ColumnsOf(p, kWhite, 12, 2, 93).size(), 92u - lower.size());

    // Higher up the black keys cover their columns, over the separators at
    // their centres.
    std::set<int> upper(lower.begin(), lower.end());
    std::set<int> black = BlackKeyColumns(block);
    upper.insert(black.begin(), black.end());
    EXPECT_EQ(ColumnsOf(p, kBlack, 5, 2, 93), std::vector<int>(upper.begin(), upper.end()))
        << Picture(p);
}

TEST_F(Rendering, BlackKeysReachHalfTheInnerBottomAndTheBoardIsOutlined)
{
    HWND tool = LaidOutTool(100, 60, 1);
    const ToolStateBlock& block = *LentBlock(tool);
    ASSERT_EQ(block.lastKey, 12);
    Pixels p = CaptureClient(tool);
    ASSERT_EQ(p.height, 60);

    std::vector<int> upper = {2};
    for (auto run : {Range(10, 17),
                     Range(22, 29),
                     {38},
                     Range(46, 53),
                     Range(58, 65),
                     Range(70, 77),
                     {86},
                     {97}}) {
        upper.insert(upper.end(), run.begin(), run.end());
    }
    EXPECT_EQ(ColumnsOf(p, kBlack, 15, 2, 97), upper) << Picture(p);
    EXPECT_EQ(ColumnsOf(p, kBlack, 40, 2, 97),
              (std::vector<int>{2, 14, 26, 38, 50, 62, 74, 86, 97}));

    // Down through the C sharp (10, 2)-(18, 29): black to row 28, then the
    // white C to the board's bottom outline at row 57.
    std::vector<int> column = Range(2, 28);
    column.push_back(57);
    EXPECT_EQ(RowsOf(p, kBlack, 12, 2, 57), column);
    // A separator runs from the inner top to the row above the inner bottom.
    EXPECT_EQ(RowsOf(p, kBlack, 50, 0, 59), Range(2, 57));
    // The board's top and bottom outline between its rounded corners.
    EXPECT_EQ(ColumnsOf(p, kBlack, 2, 5, 94), Range(5, 94));
    EXPECT_EQ(ColumnsOf(p, kBlack, 57, 5, 94), Range(5, 94));
    // Around the board a raised edge frames the buffer.
    ExpectFrame(p, GetSysColor(COLOR_3DLIGHT), GetSysColor(COLOR_BTNHIGHLIGHT),
                GetSysColor(COLOR_BTNSHADOW), GetSysColor(COLOR_3DDKSHADOW));
}

TEST_F(Rendering, OutsideTheBoardsCornersTheNewBitmapShowsThrough)
{
    calls.prefillBitmaps = true;
    HWND tool = LaidOutTool(100, 60, 1);
    Pixels p = CaptureClient(tool);
    for (POINT corner : {POINT{2, 2}, POINT{97, 2}, POINT{2, 57}, POINT{97, 57}}) {
        EXPECT_EQ(p.At(corner.x, corner.y), kGreen) << corner.x << ", " << corner.y << Picture(p);
    }
    // Nothing else is left uncovered: green only within the corners' reach.
    for (int y = 0; y < p.height; y++) {
        for (int x = 0; x < p.width; x++) {
            bool nearCorner = (x <= 4 || x >= 95) && (y <= 4 || y >= 55);
            if (!nearCorner) {
                ASSERT_NE(p.At(x, y), kGreen) << x << ", " << y << Picture(p);
            }
        }
    }
}

// Counts outside one to seven: none, as an emptied octave field applies, and
// those only a restored block brings. No octave is one white key across the board.
TEST_F(Rendering, RestoredOctaveCountsOutsideTheTableStayInside)
{
    ToolStateBlock saved = DefaultBlock();
    for (int i = 0; i < KEY_TABLE_SIZE; i++) {
        saved.keys[i] = {i, -i, 1000 + i, 77, 5};
    }
    struct Case {
        int32_t octaves;
        int lastKey;
        size_t lines;
    } const cases[] = {{8, 84, 49}, {INT_MAX, 84, 49}, {0, 0, 0}, {-1, 0, 0}, {INT_MIN, 0, 0}};
    for (const Case& c : cases) {
        saved.octaves = c.octaves;
        HWND tool = LaidOutTool(228, 20, c.octaves, &saved);
        const ToolStateBlock& block = *LentBlock(tool);
        EXPECT_EQ(block.octaves, c.octaves) << "the restored count stays as it was";
        EXPECT_EQ(block.lastKey, c.lastKey) << c.octaves;
        EXPECT_EQ(memcmp(&block.keys[c.lastKey + 1], &saved.keys[c.lastKey + 1],
                         sizeof(KeyRect) * (KEY_TABLE_SIZE - c.lastKey - 1)),
                  0)
            << c.octaves;
        Pixels p = CaptureClient(tool);
        EXPECT_EQ(ColumnsOf(p, kBlack, 12, 3, 224).size(), c.lines) << c.octaves << Picture(p);
        DestroyWindow(tool);
    }
}

using Painting = Rendering;

TEST_F(Painting, TellsTheHostOnceAfterTheEtchedEdgeAndBeforeTheCopy)
{
    HWND tool = LaidOutTool(120, 30, 3);
    const Pixels before = CaptureClient(tool);
    ResetCalls();
    Repaint(tool);

    std::vector<HostRecord> notices = HostMessages(PNM_PAINTNOTIFY);
    ASSERT_EQ(notices.size(), 1u);
    const PaintNotice& n = notices[0].notice;
    EXPECT_EQ(notices[0].wParam, 0u);
    EXPECT_EQ(n.hwnd, tool);
    EXPECT_EQ(n.rcInner.left, 2);
    EXPECT_EQ(n.rcInner.top, 2);
    EXPECT_EQ(n.rcInner.right, 118);
    EXPECT_EQ(n.rcInner.bottom, 28);
    EXPECT_EQ(n.reserved[0], 0);
    EXPECT_EQ(n.reserved[1], 0);
    EXPECT_EQ(n.reserved[2], 0);

    EXPECT_EQ(calls.edges, std::vector<UINT>{EDGE_ETCHED});
    ASSERT_EQ(calls.bitBlt, 1);
    EXPECT_EQ(calls.noticesAtBlit[0], 1u) << "the host hears of the paint before the copy";
    EXPECT_EQ(calls.blitTargets[0], n.hdc) << "the host gets the paint's own context";
    EXPECT_EQ(calls.blitAreas[0].right, 120);
    EXPECT_EQ(calls.blitAreas[0].bottom, 30);
    EXPECT_EQ(calls.roundRect + calls.lineTo + calls.solidBrush, 0)
        << "a paint copies, never renders";

    // Nothing to update: no paint, no notice.
    UpdateWindow(tool);
    EXPECT_EQ(SendMessageA(tool, WM_PAINT, 0, 0), 0);
    EXPECT_EQ(HostMessages(PNM_PAINTNOTIFY).size(), 1u);
    EXPECT_EQ(calls.bitBlt, 1);

    // A small invalid area, erased, still tells the host the whole inner
    // rectangle, and shows the keys as before.
    RECT small = {50, 10, 52, 12};
    InvalidateRect(tool, &small, TRUE);
    UpdateWindow(tool);
    notices = HostMessages(PNM_PAINTNOTIFY);
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_EQ(notices[1].notice.rcInner.right, 118);
    EXPECT_EQ(notices[1].notice.rcInner.bottom, 28);
    EXPECT_EQ(calls.edges, (std::vector<UINT>{EDGE_ETCHED, EDGE_ETCHED}));
    EXPECT_TRUE(SamePixels(CaptureClient(tool), before));
}

TEST_F(Painting, BeforeAnySizeOrMoveShowsTheEtchedEdgeOnBlack)
{
    ToolStateBlock saved = DefaultBlock();
    saved.lastKey = 50;
    for (int i = 0; i < KEY_TABLE_SIZE; i++) {
        saved.keys[i] = {3 * i, 1, 3 * i + 2, 9, i % 2};
    }
    HWND tool = CreateTool(0, 0, 100, 40, &saved);
    EXPECT_EQ(KeptBitmap(), nullptr);

    ResetCalls();
    InvalidateRect(tool, nullptr, TRUE);
    UpdateWindow(tool);
    Pixels p = CaptureClient(tool);
    const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW),
                   highlight = GetSysColor(COLOR_BTNHIGHLIGHT);
    ExpectFrame(p, shadow, highlight, shadow, highlight);
    for (int y = 2; y < 38; y++) {
        ASSERT_EQ(ColumnsOf(p, kBlack, y, 2, 97).size(), 96u) << y << Picture(p);
    }
    EXPECT_EQ(HostMessages(PNM_PAINTNOTIFY).size(), 1u);
    EXPECT_EQ(calls.bitBlt, 0);

    // A refresh has no buffer to lay out into; the restored table stays.
    EXPECT_EQ(SendMessageA(tool, PNM_REFRESH, 0, 0), 0);
    UpdateWindow(tool);
    EXPECT_EQ(memcmp(LentBlock(tool), &saved, TOOL_STATE_SIZE), 0);
    EXPECT_TRUE(SamePixels(CaptureClient(tool), p));
    EXPECT_EQ(calls.roundRect, 0);

    // The first move makes the buffer and lays out.
    MoveWindow(tool, 5, 0, 100, 40, FALSE);
    EXPECT_NE(KeptBitmap(), nullptr);
    EXPECT_EQ(LentBlock(tool)->lastKey, 36);
}

TEST_F(Painting, ARestoredBlockShowsOnlyAfterTheNextLayout)
{
    enum Trigger { kRefresh, kMove, kSize };
    for (Trigger trigger : {kRefresh, kMove, kSize}) {
        HWND tool = LaidOutTool(160, 40, 3);
        Pixels three = CaptureClient(tool);
        ToolStateBlock block = *LentBlock(tool);
        block.octaves = 5;
        EXPECT_EQ(SendMessageA(tool, PNM_SETSTATE, 0, reinterpret_cast<LPARAM>(&block)), 0);
        Repaint(tool);
        EXPECT_TRUE(SamePixels(CaptureClient(tool), three)) << trigger;
        EXPECT_EQ(LentBlock(tool)->lastKey, 36);

        switch (trigger) {
        case kRefresh:
            EXPECT_EQ(SendMessageA(tool, PNM_REFRESH, 0, 0), 0);
            break;
        case kMove:
            MoveWindow(tool, 1, 0, 160, 40, FALSE);
            InvalidateRect(tool, nullptr, FALSE);
            break;
        case kSize:
            SetWindowPos(tool, nullptr, 0, 0, 160, 41, SWP_NOMOVE | SWP_NOZORDER);
            InvalidateRect(tool, nullptr, FALSE);
            break;
        }
        UpdateWindow(tool);
        EXPECT_EQ(LentBlock(tool)->lastKey, 60) << trigger;
        Pixels five = CaptureClient(tool);
        EXPECT_EQ(ColumnsOf(five, kBlack, 30, 3, 156).size(), 35u) << trigger << Picture(five);
        EXPECT_TRUE(SamePixels(five, CaptureBitmap(KeptBitmap()))) << trigger;
        DestroyWindow(tool);
    }
}

TEST_F(Painting, ShrinkingRepaintsNothingByItself)
{
    HWND tool = LaidOutTool(200, 60, 2);
    Pixels wide = CaptureClient(tool);
    ResetCalls();
    Resize(tool, 150, 60);
    UpdateWindow(tool);
    EXPECT_TRUE(HostMessages(PNM_PAINTNOTIFY).empty());
    EXPECT_EQ(calls.bitBlt, 0);
    EXPECT_EQ(calls.roundRect, 1 + 10) << "laid out again for the new size";

    // The screen still shows the left part of the wide keyboard.
    Pixels shown = CaptureClient(tool);
    ASSERT_EQ(shown.width, 150);
    for (int y = 0; y < 60; y++) {
        for (int x = 0; x < 150; x++) {
            ASSERT_EQ(shown.At(x, y), wide.At(x, y)) << x << ", " << y;
        }
    }
    Pixels buffer = CaptureBitmap(KeptBitmap());
    EXPECT_FALSE(SamePixels(shown, buffer));

    EXPECT_EQ(SendMessageA(tool, PNM_REFRESH, 0, 0), 0);
    UpdateWindow(tool);
    EXPECT_EQ(HostMessages(PNM_PAINTNOTIFY).size(), 1u);
    EXPECT_TRUE(SamePixels(CaptureClient(tool), buffer));
}

TEST_F(Painting, SizeMessagesSizeTheBufferFromTheirParameters)
{
    HWND tool = LaidOutTool(100, 60, 1);
    EXPECT_EQ(SendMessageA(tool, WM_SIZE, SIZE_RESTORED, MAKELPARAM(50, 30)), 0);
    BITMAP bm;
    ASSERT_EQ(GetObjectA(KeptBitmap(), sizeof bm, &bm), static_cast<int>(sizeof bm));
    EXPECT_EQ(bm.bmWidth, 50);
    EXPECT_EQ(bm.bmHeight, 30);
    // The layout itself follows the window's client area.
    EXPECT_EQ(LentBlock(tool)->keys[12].right, 98);
}

TEST_F(Painting, WithoutABufferLayoutAndCopyWaitForALaterResize)
{
    HWND tool = LaidOutTool(100, 60, 1);
    ToolStateBlock before = *LentBlock(tool);
    calls.failBitmaps = true;
    ResetCalls();
    Resize(tool, 120, 60);
    EXPECT_EQ(KeptBitmap(), nullptr);
    EXPECT_EQ(memcmp(LentBlock(tool), &before, TOOL_STATE_SIZE), 0);
    EXPECT_EQ(calls.roundRect, 0);
    Repaint(tool);
    EXPECT_EQ(calls.bitBlt, 0);
    EXPECT_FALSE(HostMessages(PNM_PAINTNOTIFY).empty());

    calls.failBitmaps = false;
    Resize(tool, 130, 60);
    EXPECT_NE(KeptBitmap(), nullptr);
    EXPECT_EQ(LentBlock(tool)->keys[12].right, 128);

    // A move whose client area cannot be read keeps both.
    Hook("user32.dll", "GetClientRect", &realGetClientRect, &NoClientRect);
    before = *LentBlock(tool);
    HBITMAP kept = KeptBitmap();
    SendMessageA(tool, WM_MOVE, 0, 0);
    EXPECT_EQ(memcmp(LentBlock(tool), &before, TOOL_STATE_SIZE), 0);
    EXPECT_EQ(KeptBitmap(), kept);
}

TEST_F(Painting, TinyAndEmptyWindowsLayOutAndPaintSafely)
{
    ToolStateBlock saved = DefaultBlock();
    for (KeyRect& k : saved.keys) {
        k = {-9, -9, -9, -9, -9};
    }
    HWND tool = LaidOutTool(40, 20, 7, &saved);
    for (int size : {0, 1, 3, 4, 2}) {
        Resize(tool, size, size);
        Repaint(tool);
        EXPECT_EQ(LentBlock(tool)->lastKey, 84) << size;
        for (int i = 85; i < KEY_TABLE_SIZE; i++) {
            ASSERT_EQ(LentBlock(tool)->keys[i].black, -9) << size;
        }
    }
    Resize(tool, 4, 4);
    EXPECT_EQ(LentBlock(tool)->keys[84].left, 2);
    EXPECT_EQ(LentBlock(tool)->keys[84].right, 2);
}

// Every brush, memory context and screen context made for drawing is gone
// when the drawing is done; the buffer goes with its window.
TEST_F(Painting, DrawingLeavesNoObjectsBehind)
{
    StartObjectLedger(morva->dll);
    HWND tool = LaidOutTool(100, 60, 3);
    for (int i = 0; i < 20; i++) {
        Resize(tool, 100 + i, 40 + i);
        MoveWindow(tool, i, 0, 100 + i, 40 + i, FALSE);
        SendMessageA(tool, PNM_REFRESH, 0, 0);
        UpdateWindow(tool);
    }
    Resize(tool, 0, 0);
    Resize(tool, 96, 20);
    Repaint(tool);
    EXPECT_EQ(Ledger().memoryDcs, 0);
    EXPECT_EQ(Ledger().windowDcs, 0);
    EXPECT_EQ(Ledger().gdiObjects, 1);
    EXPECT_GT(calls.memoryDc, 40);
    EXPECT_EQ(calls.liveBitmaps.size(), 1u);
    // The one left is the buffer the tool holds, as only its record tells.
    EXPECT_EQ(*calls.liveBitmaps.begin(), Record(tool)->backBuffer);
    DestroyWindow(tool);
    EXPECT_EQ(Ledger().gdiObjects, 0);
    EXPECT_EQ(Ledger().failedDeletes + Ledger().selectedDeletes, 0);
}

}  // namespace
