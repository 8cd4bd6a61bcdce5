#pragma once

namespace host::api {

class CursorView;

// The current row of a dataset's view and its Bof/Eof flags, moved as every dataset
// moves them: First, Prior, Next, Last and MoveTo stand on a row and tell the view
// when it changed; Bof and Eof are set after a move that could not go further.
class Cursor {
public:
    explicit Cursor(CursorView& view) : m_view(view) {}
    Cursor(const Cursor&) = delete;
    Cursor& operator=(const Cursor&) = delete;

    void First();
    void Prior();
    void Next();
    void Last();
    // Raises on a row outside the view.
    void MoveTo(int row);

    // The current row, the view settled first; -1 when closed or empty.
    int RecNo() const;
    bool Bof() const { return m_bof; }
    bool Eof() const { return m_eof; }
    // The row as it stands, for the view's own bookkeeping (nothing is settled).
    int Row() const { return m_row; }

    // Stands on a row of a view just built (-1: it is empty), without telling anyone:
    // the dataset announces the new view itself.
    void Place(int row);
    // No row: the view is gone or not read yet.
    void Clear() { Place(-1); }

private:
    CursorView& m_view;
    int m_row = -1;
    bool m_bof = true;
    bool m_eof = true;
};

} // namespace host::api
