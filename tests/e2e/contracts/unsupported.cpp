// An action whose parameter the interface description cannot express.
#include <corvane/actions.hpp>

void scale(double factor) { corvane::output(std::to_string(factor)); }

CORVANE_ACTIONS(scale)
