// QuilvoLiteUpgrader: started without arguments by the program when an update brought new
// program files; exits 0 when they were installed and 1 when the upgrade stopped.
#include "upgrader/Upgrader.h"

int main()
{
    CUpgrader upgrader;
    return upgrader.Run();
}
