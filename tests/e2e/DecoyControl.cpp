// The control of the library decoys: loads each library named on its command line by bare
// name, with the default search, as a careless program would. Its markers prove the decoys
// and the overrides work; with no names it loads nothing, which shows what Wine itself loads
// before a program's first instruction.
#include <windows.h>

int main(int argc, char** argv)
{
    int failed = 0;
    for (int i = 1; i < argc; ++i)
        if (LoadLibraryA(argv[i]) == nullptr)
            ++failed;
    return failed;
}
