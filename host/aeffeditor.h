// Base class of an effect's editor. The effect owns its editor through
// AudioEffect::editor and destroys it with itself; the dispatcher forwards the
// editor requests to it.
#pragma once

#include <cstdint>

#include "aeffect.h"

struct ERect {
    std::int16_t top;
    std::int16_t left;
    std::int16_t bottom;
    std::int16_t right;
};

class AEffEditor {
public:
    AEffEditor() noexcept = default;
    AEffEditor(const AEffEditor&) = delete;
    AEffEditor& operator=(const AEffEditor&) = delete;
    virtual ~AEffEditor() = default;

    // Stores the address of the editor's rectangle in *rect; the base has none.
    virtual aeLong getRect(ERect** rect) noexcept {
        *rect = nullptr;
        return 0;
    }
    // Opens the editor inside the parent window `ptr`.
    virtual aeLong open(void* ptr) noexcept {
        systemWindow = ptr;
        return 0;
    }
    virtual void close() noexcept {}
    // Idle time from the host: runs one pending update.
    virtual void idle() noexcept {
        if (updateFlag != 0) {
            updateFlag = 0;
            update();
        }
    }
    virtual void update() noexcept {}
    // Asks for one update on the next idle; callable from the effect's setParameter.
    virtual void postUpdate() noexcept { updateFlag = 1; }

protected:
    void* systemWindow = nullptr;  // parent window given to open
    aeLong updateFlag = 0;         // 1 while an update is pending
};
