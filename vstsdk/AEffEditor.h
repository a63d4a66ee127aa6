// The editor interface the framework stores, calls and frees. Neither
// Velmora plug-in has an editor; the interface exists so the dispatcher can
// serve the editor opcodes for an effect that sets one.
#pragma once

#include <cstdint>

struct ERect {
    std::int16_t top, left, bottom, right;
};

class AEffEditor {
public:
    virtual ~AEffEditor() = default;
    // Stores a pointer to the editor's rectangle into *rect.
    virtual std::int32_t getRect(ERect** rect) = 0;
    // Opens the editor inside the host's parent window.
    virtual std::int32_t open(void* parentWindow) = 0;
    virtual void close() = 0;
    virtual void idle() = 0;
};
