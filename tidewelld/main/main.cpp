#include "main/agent_loop.h"

int main() { return RunAgent(); }
