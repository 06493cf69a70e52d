#pragma once

// Which way the capturer on Windows reads the headset's display, and when it tries duplicating
// the output again. A duplication costs next to nothing but may be refused for a while (other
// programs duplicate the output already, the secure desktop is up) or lost (a mode change),
// while copying always works: so the capturer copies while duplication fails, tries again ever
// less often, and duplicates again as soon as that works.
class DuplicationFallback {
public:
    enum class Way { Duplication, Copying };

    // Reading begins: by duplication, which has not worked yet.
    void begin();
    // A duplication of the output was made.
    void made();
    // The duplication answered, with a frame or with nothing new.
    void working();
    // No duplication could be made, or the one made stopped answering.
    void failed();

    Way way() const { return m_way; }
    // In how many milliseconds to try making a duplication again; 0 while none is due.
    int retryMs() const { return m_retryMs; }

private:
    Way m_way = Way::Duplication;
    bool m_worked = false;
    int m_failuresInARow = 0;
    int m_retryMs = 0;
    int m_nextCopyingRetryMs = 0;
};
