#pragma once

namespace host::api {

// What a Cursor asks of the view it walks. A dataset implements it once; the moves,
// Bof/Eof and the row are then the Cursor's, the same for every dataset.
class CursorView {
public:
    virtual ~CursorView() = default;

    // A closed dataset has no view: moves do nothing and the row is -1.
    virtual bool IsOpen() const = 0;
    // Brings the view up to date before the cursor reads it (held or pending changes).
    virtual void Settle() = 0;
    // Rows known so far: Next stops at the last of them.
    virtual int KnownRows() const = 0;
    // The row First stands on: 0, or -1 when the view is empty.
    virtual int FirstRow() { return KnownRows() > 0 ? 0 : -1; }
    // The row Last stands on: the view's last, -1 when it is empty. A view read in
    // windows learns its whole count here.
    virtual int LastRow() { return KnownRows() - 1; }
    // Next is about to stand on the row: a view read in windows fetches it when it is
    // past the rows known and there are more.
    virtual void Reach(int row) { (void)row; }
    // Raises unless the (settled) view has the row.
    virtual void RequireRow(int row) = 0;
    // The cursor stands on another row.
    virtual void CursorMoved() = 0;
};

} // namespace host::api
