#include "engine/EngineState.h"

namespace engine {

EngineState& state() {
    static EngineState s;
    return s;
}

} // namespace engine
