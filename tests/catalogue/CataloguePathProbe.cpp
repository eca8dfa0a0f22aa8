// Prints the catalogue path of wherever this executable stands.
#include <cstdio>
#include <string>

#include "catalogue/TemplateCatalogue.h"

int main() {
    const std::string path = quillmark::ToUtf8(quillmark::CataloguePath());
    std::fwrite(path.data(), 1, path.size(), stdout);
    return 0;
}
