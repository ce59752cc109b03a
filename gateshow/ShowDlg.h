#pragma once
// The gate show: plays 16 named segments of one fixed clip as four gates. At
// each gate a start segment plays, then a loop repeats until a left click in
// one of two zones picks one of the gate's two endings. After the fourth gate
// the four chosen endings replay and the show begins again. Hovering a zone
// while a loop waits outlines it; a right click closes the show.

#include <cstdint>
#include <memory>
#include <string>

#include "gateshow/HotZone.h"
#include "platform/ShowWindow.h"
#include "video/AviControl.h"

class CFrameLookahead;

// One timer runs at a time; its id says what the show is doing.
constexpr uintptr_t TIMER_START = 0;   // a gate's start segment
constexpr uintptr_t TIMER_LOOP = 1;    // a gate's loop, waiting for a click
constexpr uintptr_t TIMER_ENDING = 2;  // the ending the click chose
constexpr uintptr_t TIMER_REPLAY = 3;  // the cycle's chosen endings again

constexpr int MAX_HOT_ZONES = 20;
constexpr int GATE_SCREEN_WIDTH = 1024;
constexpr int GATE_SCREEN_HEIGHT = 768;

class CShowDlg : public IShowWindowHandler {
public:
    // The show of the fixed clip, avi/Synth002.avi in the program's data folder.
    CShowDlg();
    // The show of another clip, for tests and benchmarks; without bPreload
    // each frame is fetched only when it is drawn.
    explicit CShowDlg(std::string strClipPath, bool bPreload = true);
    // Also destroys a window that is still open.
    ~CShowDlg() override;

    CShowDlg(const CShowDlg&) = delete;
    CShowDlg& operator=(const CShowDlg&) = delete;

    // Makes the window and runs its initialisation. False when the window did
    // not survive it (a clip that cannot be played): the object is then
    // already deleted and g_pGateShow cleared. Objects must come from new:
    // the window deletes its object when it is destroyed, unless the object
    // is being deleted itself.
    bool Create();
    // Clears g_bGateShowOpen, frees the choice queue and destroys the window,
    // which deletes this object.
    void CloseShow();

    IShowWindow* GetWindow() const { return m_pWnd; }

    void OnAttach(IShowWindow* pWnd) override;
    int OnInitDialog() override;
    void OnTimer(uintptr_t nIDEvent) override;
    void OnLButtonDown(unsigned nFlags, int x, int y) override;
    void OnRButtonDown(unsigned nFlags, int x, int y) override;
    void OnMouseMove(unsigned nFlags, int x, int y) override;
    void PostNcDestroy() override;
    AccessibleText Accessible() const override;

    void SetHotZone(int index, int left, int top, int right, int bottom);
    // The first of the zones in use that strictly contains the point, or -1.
    int HitTestZones(int x, int y) const;
    void DrawZoneOutline(int zone);

    // Read-only views for tests and benchmarks.
    uint32_t FramePeriod() const { return m_nFramePeriod; }
    int32_t PicLeft() const { return m_nPicLeft; }
    int32_t PicTop() const { return m_nPicTop; }
    int32_t CurSegment() const { return m_nCurSegment; }
    int32_t QueuePos() const { return m_nQueuePos; }
    const int32_t* ChoiceQueue() const { return m_pChoiceQueue.get(); }
    bool AcceptClick() const { return m_bAcceptClick; }
    const CAviControl& Avi() const { return m_avi; }

private:
    int DrawSegment(int nSegment);
    void StartShowTimer(uintptr_t nIDEvent);
    void StartLookahead();
    void PreloadUpcoming();
    void WarmUpNext();
    int SegmentInPlay() const;

    IShowWindow* m_pWnd = nullptr;
    bool m_bDeleting = false;
    std::string m_strClipPath;
    bool m_bPreload;
    uintptr_t m_nTimer = TIMER_START;         // the one running
    CFrameLookahead* m_pLookahead = nullptr;  // owned by m_avi

    int32_t m_nPicTop = 0;
    int32_t m_nPicLeft = 0;
    int32_t m_nGateCount = 4;
    int32_t m_nQueuePos = 0;
    std::unique_ptr<int32_t[]> m_pChoiceQueue;
    bool m_bAcceptClick = false;
    int32_t m_nChosenZone = -1;
    int32_t m_nSegmentCount = 16;
    int32_t m_nZoneCount = 2;
    int32_t m_nCurSegment = 0;
    uint32_t m_nFramePeriod = 0;
    HotZone m_zones[MAX_HOT_ZONES] = {};
    CAviControl m_avi;
};

// The show's fixed clip, avi/Synth002.avi in the program's data folder; empty
// when the data folder is unknown.
std::string GateClipPath();

// The launcher's bookkeeping of the open gate show.
extern bool g_bGateShowOpen;
extern CShowDlg* g_pGateShow;
