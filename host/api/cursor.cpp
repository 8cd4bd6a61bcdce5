#include "host/api/cursor.h"

#include "host/api/cursor_view.h"

namespace host::api {

void Cursor::First()
{
    if (!m_view.IsOpen()) {
        return;
    }
    m_view.Settle();
    const int target = m_view.FirstRow();
    const bool moved = target != m_row;
    m_row = target;
    m_bof = true;
    m_eof = target < 0;
    if (moved) {
        m_view.CursorMoved();
    }
}

void Cursor::Last()
{
    if (!m_view.IsOpen()) {
        return;
    }
    m_view.Settle();
    const int target = m_view.LastRow();
    const bool moved = target != m_row;
    m_row = target;
    m_eof = true;
    m_bof = target < 0;
    if (moved) {
        m_view.CursorMoved();
    }
}

void Cursor::Next()
{
    if (!m_view.IsOpen()) {
        return;
    }
    m_view.Settle();
    m_view.Reach(m_row + 1);
    if (m_row + 1 >= m_view.KnownRows()) {
        m_eof = true;
        return;
    }
    ++m_row;
    m_bof = m_eof = false;
    m_view.CursorMoved();
}

void Cursor::Prior()
{
    if (!m_view.IsOpen()) {
        return;
    }
    m_view.Settle();
    if (m_row <= 0) {
        m_bof = true;
        return;
    }
    --m_row;
    m_bof = m_eof = false;
    m_view.CursorMoved();
}

void Cursor::MoveTo(int row)
{
    m_view.RequireRow(row);
    const bool moved = row != m_row;
    m_row = row;
    m_bof = m_eof = false;
    if (moved) {
        m_view.CursorMoved();
    }
}

int Cursor::RecNo() const
{
    if (!m_view.IsOpen()) {
        return -1;
    }
    m_view.Settle();
    return m_row;
}

void Cursor::Place(int row)
{
    m_row = row;
    m_bof = row <= 0;
    m_eof = row < 0;
}

} // namespace host::api
