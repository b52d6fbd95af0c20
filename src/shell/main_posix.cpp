// Entry point of the Linux console program.
int main() { return 0; }
