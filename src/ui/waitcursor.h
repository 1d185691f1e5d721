#pragma once

// Shows the wait cursor while a command waits on the database (only in a
// GUI application; nested uses stack).
class WaitCursor
{
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;

private:
    bool m_active;
};
