// tallyon: creates, fills and opens competition databases, and runs the
// points-entry module on them.

#include "host/commands.h"

int main(int argc, char** argv)
{
    return runTallyon(argc, argv);
}
