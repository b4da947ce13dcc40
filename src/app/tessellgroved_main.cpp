// tessellgroved: the whole program without a desktop.
int main() { return 0; }
