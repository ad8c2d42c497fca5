// quorvex [path-of-base]: the program's entry.
int main() { return 0; }
