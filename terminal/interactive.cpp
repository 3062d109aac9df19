// terminal/interactive.cpp: placeholder until the interactive terminal lands.
#include "terminal/interactive.h"

namespace mimoza {

int RunInteractive() { return 1; }

}  // namespace mimoza
