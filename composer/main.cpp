#include "composer/composer.h"

int main(int argc, char** argv) { return composer::run(argc, argv); }
