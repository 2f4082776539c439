#include "composer/composer.h"
#include "toolkit/language.h"

int main(int argc, char** argv) {
    language_start();
    return composer::run(argc, argv);
}
