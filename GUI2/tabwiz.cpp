#include "GUI2/tbx_shel.h"

int main(int argc, char** argv) { return tabwiz_main(argc, argv); }
