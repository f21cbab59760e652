// The program of a floor's link check (CMakeLists.txt): it only has to link.
int main() { return 0; }
