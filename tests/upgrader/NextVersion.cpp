// The build stamp of the next version of the program: the self-update test serves a main
// library built with it as the newer one, which announces itself with the version given when
// it is compiled.
#include "app/BuildInfo.cpp"
