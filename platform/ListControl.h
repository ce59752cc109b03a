#pragma once
// A list box or combo box of the launcher, by position.
//
// Callers rely on:
// - A sorted control (the launcher's list box and combo box) puts an added
//   string at its place in alphabetical order ignoring case; equal strings
//   keep the order in which they came. An unsorted one appends.
// - AddString returns the position the string landed at.
// - GetCurSel is the selected position, or LB_ERR (-1) when nothing is
//   selected; SetCurSel with a position outside the list clears the selection
//   and returns LB_ERR.
// - GetText(n) is the text of entry n; empty for positions outside the list.
// Used on the user-interface thread only.

#include <string>

constexpr int LB_ERR = -1;

class IListControl {
public:
    virtual ~IListControl() = default;
    virtual int AddString(const std::string& text) = 0;
    virtual int GetCount() const = 0;
    virtual std::string GetText(int n) const = 0;
    virtual int GetCurSel() const = 0;
    virtual int SetCurSel(int n) = 0;
};
