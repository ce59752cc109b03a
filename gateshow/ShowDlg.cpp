#include "gateshow/ShowDlg.h"

#include <cstdio>
#include <utility>
#include <vector>

#include "gateshow/FrameLookahead.h"
#include "gateshow/GateOsc.h"
#include "platform/DataFolder.h"
#include "platform/DeviceContext.h"
#include "video/FrameRate.h"

bool g_bGateShowOpen = false;
CShowDlg* g_pGateShow = nullptr;

namespace {

const char* const GATE_CLIP = "avi/Synth002.avi";

constexpr COLORREF ZONE_OUTLINE_COLOR = RGB(255, 0, 0);
constexpr int ZONE_OUTLINE_WIDTH = 2;

struct SegmentTime {
    const char* szName;
    double dStart;
    double dEnd;
};

// Gate g holds entries 4g to 4g + 3: start, loop, first and second ending.
constexpr SegmentTime SEGMENTS[] = {
    {"Gate1St", 0.0, 13.99},    {"Gate1Lp", 14.0, 19.99},   {"Gate1E1", 20.0, 29.99},
    {"Gate1E2", 30.0, 39.99},   {"Gate2St", 40.0, 53.99},   {"Gate2Lp", 54.0, 59.99},
    {"Gate2E1", 60.0, 69.99},   {"Gate2E2", 70.0, 79.99},   {"Gate3St", 80.0, 93.99},
    {"Gate3Lp", 94.0, 99.99},   {"Gate3E1", 100.0, 109.99}, {"Gate3E2", 110.0, 119.99},
    {"Gate4St", 120.0, 133.99}, {"Gate4Lp", 134.0, 139.99}, {"Gate4E1", 140.0, 149.99},
    {"Gate4E2", 150.0, 159.99},
};
constexpr int SEGMENT_COUNT = sizeof SEGMENTS / sizeof SEGMENTS[0];

constexpr HotZone ZONES[] = {
    {460, 60, 700, 340},   // picks the gate's first ending
    {760, 60, 1000, 340},  // picks its second
};
constexpr int ZONE_COUNT = sizeof ZONES / sizeof ZONES[0];

constexpr int GATE_COUNT = 4;

}  // namespace

std::string GateClipPath() {
    const std::string folder = platform::DataFolder();
    // Without the data folder there is no fixed place to look.
    return folder.empty() ? std::string() : folder + GATE_CLIP;
}

CShowDlg::CShowDlg() : CShowDlg(GateClipPath()) {}

CShowDlg::CShowDlg(std::string strClipPath, bool bPreload)
    : m_strClipPath(std::move(strClipPath)), m_bPreload(bPreload) {}

CShowDlg::~CShowDlg() {
    // Deleted while its window still stands (the launcher ending): take the
    // window down without letting PostNcDestroy delete us a second time.
    if (m_pWnd) {
        m_bDeleting = true;
        m_pWnd->Destroy();
    }
}

bool CShowDlg::Create() { return platform::ShowWindows().Create(*this) != nullptr; }

void CShowDlg::OnAttach(IShowWindow* pWnd) { m_pWnd = pWnd; }

int CShowDlg::OnInitDialog() {
    WindowRect rect = m_pWnd->GetNormalRect();
    rect.left = 0;
    rect.top = 0;
    rect.right = GATE_SCREEN_WIDTH;
    rect.bottom = GATE_SCREEN_HEIGHT;
    m_pWnd->SetNormalRect(rect);

    m_nChosenZone = -1;

    const double dFramesPerSec = m_avi.Open(m_strClipPath.c_str());
    if (!IsPlayableFrameRate(dFramesPerSec)) {
        if (dFramesPerSec == 0.0) {
            std::fprintf(stderr, "gate show: cannot play clip \"%s\"\n", m_strClipPath.c_str());
        } else {
            std::fprintf(stderr,
                         "gate show: clip \"%s\" runs at %g frames per second, outside 1 to 1000\n",
                         m_strClipPath.c_str(), dFramesPerSec);
        }
        CloseShow();
        return 0;
    }
    m_nFramePeriod = FramePeriodMs(dFramesPerSec);

    int w = 0;
    int h = 0;
    m_avi.GetFrameSize(w, h);
    m_nPicLeft = (GATE_SCREEN_WIDTH - w) / 2;
    m_nPicTop = (GATE_SCREEN_HEIGHT - h) / 2;

    for (int i = 0; i < SEGMENT_COUNT; ++i)
        m_avi.SetSegment(i, SEGMENTS[i].szName, SEGMENTS[i].dStart, SEGMENTS[i].dEnd);
    m_nSegmentCount = SEGMENT_COUNT;
    m_nGateCount = GATE_COUNT;

    for (int i = 0; i < ZONE_COUNT; ++i)
        SetHotZone(i, ZONES[i].left, ZONES[i].top, ZONES[i].right, ZONES[i].bottom);
    m_nZoneCount = ZONE_COUNT;

    m_nCurSegment = 0;
    m_bAcceptClick = false;

    m_pChoiceQueue = std::make_unique<int32_t[]>(m_nGateCount);  // zeros
    m_nQueuePos = 0;

    if (m_bPreload) StartLookahead();
    StartShowTimer(TIMER_START);
    PreloadUpcoming();
    return 1;
}

// Every frame a jump may land on next (the loop's own first frame and one
// per ending) is fetched ahead, through readers put in front of the clip's,
// so the show's drawing goes on through the clip as before. Readers kept
// open together keep to one thread each, the one in use included; the
// lookahead opens the others from its own thread, as it needs them, while
// this one touches the clip only through it.
void CShowDlg::StartLookahead() {
    std::unique_ptr<IFrameReader> pReader = m_avi.OpenFrameReader(FrameReaderUse::OneOfSeveral);
    if (!pReader) return;
    auto open = [this] { return m_avi.OpenFrameReader(FrameReaderUse::OneOfSeveral); };
    auto lookahead = std::make_unique<CFrameLookahead>(
        std::move(pReader), open, static_cast<size_t>(1 + m_nZoneCount), m_avi.StreamLength());
    m_pLookahead = lookahead.get();
    m_avi.ExchangeFrameReader(std::move(lookahead));
}

void CShowDlg::StartShowTimer(uintptr_t nIDEvent) {
    m_pWnd->StartTimer(nIDEvent, m_nFramePeriod);
    m_nTimer = nIDEvent;
    const int nSegment = SegmentInPlay();
    SendGateSegment(nSegment, m_avi.Segment(nSegment).szName);
}

// The replay plays the chosen segments from its queue; the rest of the show,
// the current one.
int CShowDlg::SegmentInPlay() const {
    return m_nTimer == TIMER_REPLAY ? m_pChoiceQueue[m_nQueuePos] : m_nCurSegment;
}

int CShowDlg::DrawSegment(int nSegment) {
    const int nResult = m_avi.DrawFrame(nSegment, &m_pWnd->GetDC(), m_nPicLeft, m_nPicTop);
    // Only once a segment is under way does what follows it change: until
    // then, what may follow the one before it includes its first frame.
    if (nResult >= 0) PreloadUpcoming();
    return nResult;
}

void CShowDlg::OnTimer(uintptr_t nIDEvent) {
    switch (nIDEvent) {
        case TIMER_START:
            if (DrawSegment(m_nCurSegment) < 0) {
                m_pWnd->StopTimer(TIMER_START);
                m_avi.ResetSegment(m_nCurSegment);
                ++m_nCurSegment;  // the gate's loop
                StartShowTimer(TIMER_LOOP);
                WarmUpNext();
            }
            break;
        case TIMER_LOOP:
            m_bAcceptClick = true;
            // Run out: the loop plays again from its first frame.
            if (DrawSegment(m_nCurSegment) < 0) {
                m_avi.ResetSegment(m_nCurSegment);
                SendGateSegment(m_nCurSegment, m_avi.Segment(m_nCurSegment).szName);
                WarmUpNext();
            }
            break;
        case TIMER_ENDING:
            if (DrawSegment(m_nCurSegment) < 0) {
                m_pWnd->StopTimer(TIMER_ENDING);
                m_avi.ResetSegment(m_nCurSegment);
                // From either ending to the next gate's start.
                m_nCurSegment += m_nZoneCount - m_nChosenZone;
                if (m_nCurSegment < m_nSegmentCount) {
                    StartShowTimer(TIMER_START);
                } else {
                    m_nCurSegment = 0;
                    m_nQueuePos = 0;
                    StartShowTimer(TIMER_REPLAY);
                }
                WarmUpNext();
            }
            break;
        case TIMER_REPLAY: {
            const int nSegment = m_pChoiceQueue[m_nQueuePos];
            if (DrawSegment(nSegment) < 0) {
                m_pWnd->StopTimer(TIMER_REPLAY);
                ++m_nQueuePos;
                m_avi.ResetSegment(nSegment);
                if (m_nQueuePos < m_nGateCount) {
                    StartShowTimer(TIMER_REPLAY);
                } else {
                    m_nQueuePos = 0;
                    StartShowTimer(TIMER_START);  // the first gate, m_nCurSegment 0
                }
                WarmUpNext();
            }
            break;
        }
        default:
            break;
    }
}

void CShowDlg::OnLButtonDown(unsigned /*nFlags*/, int x, int y) {
    const int z = HitTestZones(x, y);
    if (z < 0 || !m_bAcceptClick) return;
    m_pWnd->StopTimer(TIMER_LOOP);
    m_bAcceptClick = false;
    m_nChosenZone = z;
    SendGateChoice(m_nCurSegment / (2 + m_nZoneCount), z);
    // The loop keeps its cursor: the next cycle resumes it where it stopped.
    m_nCurSegment += z + 1;
    m_pChoiceQueue[m_nQueuePos] = m_nCurSegment;
    ++m_nQueuePos;
    StartShowTimer(TIMER_ENDING);
    WarmUpNext();
}

void CShowDlg::OnMouseMove(unsigned /*nFlags*/, int x, int y) {
    const int z = HitTestZones(x, y);
    if (z >= 0 && m_bAcceptClick) DrawZoneOutline(z);
}

void CShowDlg::OnRButtonDown(unsigned /*nFlags*/, int /*x*/, int /*y*/) {
    m_pWnd->StopTimer(TIMER_START);
    m_pWnd->StopTimer(TIMER_LOOP);
    m_pWnd->StopTimer(TIMER_ENDING);
    // Destroying the window ends TIMER_REPLAY; this object is gone after it.
    CloseShow();
}

void CShowDlg::CloseShow() {
    g_bGateShowOpen = false;
    m_pChoiceQueue.reset();
    if (m_pWnd) m_pWnd->Destroy();
}

void CShowDlg::PostNcDestroy() {
    m_pWnd = nullptr;
    // A window can also end without CloseShow (it could not be made, or its
    // owner ended): the launcher must then not find the flag set with no
    // show behind it.
    if (g_pGateShow == this) {
        g_pGateShow = nullptr;
        g_bGateShowOpen = false;
    }
    // Nothing else would free a closed show: it goes with its window.
    if (!m_bDeleting) delete this;
}

void CShowDlg::SetHotZone(int index, int left, int top, int right, int bottom) {
    if (index < 0 || index >= MAX_HOT_ZONES) return;
    m_zones[index] = HotZone{left, top, right, bottom};
}

int CShowDlg::HitTestZones(int x, int y) const {
    for (int i = 0; i < m_nZoneCount && i < MAX_HOT_ZONES; ++i) {
        const HotZone& z = m_zones[i];
        if (z.left < x && x < z.right && z.top < y && y < z.bottom) return i;
    }
    return -1;
}

void CShowDlg::DrawZoneOutline(int zone) {
    if (zone < 0 || zone >= MAX_HOT_ZONES || !m_pWnd) return;
    const HotZone& z = m_zones[zone];
    IDeviceContext& dc = m_pWnd->GetDC();
    Pen pen;
    pen.nStyle = PS_SOLID;
    pen.nWidth = ZONE_OUTLINE_WIDTH;
    pen.crColor = ZONE_OUTLINE_COLOR;
    const Pen oldPen = dc.SelectPen(pen);
    dc.MoveTo(z.left, z.top);
    dc.LineTo(z.right, z.top);
    dc.LineTo(z.right, z.bottom);
    dc.LineTo(z.left, z.bottom);
    dc.LineTo(z.left, z.top);
    dc.SelectPen(oldPen);
}

// A segment that runs out leaves its tick nothing to draw, and a click
// comes between ticks: time for the frame the next tick draws, fetched
// seconds before, to be read in. That tick would otherwise wait on memory,
// and take longer than one that draws a frame just decoded.
void CShowDlg::WarmUpNext() {
    if (!m_pLookahead) return;
    m_pLookahead->WarmUp(m_avi.Segment(SegmentInPlay()).dwCursor);
}

// What the show may draw right after the segment in play: a jump there then
// finds its first frame fetched.
void CShowDlg::PreloadUpcoming() {
    if (!m_pLookahead) return;
    uint32_t frames[2 + MAX_HOT_ZONES];
    size_t count = 0;
    auto cursor = [&](int nSegment) {
        if (nSegment >= 0 && nSegment < m_nSegmentCount)
            frames[count++] = m_avi.Segment(nSegment).dwCursor;
    };
    switch (m_nTimer) {
        case TIMER_START:
            // A start not yet drawn (the show's first, or one after the
            // replay) wants its own first frame before anything.
            if (m_avi.Segment(m_nCurSegment).dwCursor == m_avi.Segment(m_nCurSegment).dwFirstFrame)
                cursor(m_nCurSegment);
            // The loop where it stands, and where a click in it may lead.
            for (int i = 1; i <= 1 + m_nZoneCount; ++i) cursor(m_nCurSegment + i);
            break;
        case TIMER_LOOP:
            frames[count++] = m_avi.Segment(m_nCurSegment).dwFirstFrame;
            for (int z = 0; z < m_nZoneCount; ++z) cursor(m_nCurSegment + z + 1);
            break;
        case TIMER_ENDING: {
            const int nNext = m_nCurSegment + m_nZoneCount - m_nChosenZone;
            cursor(nNext < m_nSegmentCount ? nNext : m_pChoiceQueue[0]);
            break;
        }
        case TIMER_REPLAY:
            cursor(m_nQueuePos + 1 < m_nGateCount ? m_pChoiceQueue[m_nQueuePos + 1] : 0);
            break;
        default:
            break;
    }
    m_pLookahead->Preload(frames, count);
}

AccessibleText CShowDlg::Accessible() const {
    return {"Gate show",
            "An interactive clip in four gates: at each, a left click in the left or the right "
            "zone chooses the ending; a right click closes the show"};
}
