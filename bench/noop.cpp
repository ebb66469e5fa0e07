// A Windows console program that does nothing: the floor of what starting any tool costs.
int main() { return 0; }
