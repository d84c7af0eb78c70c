// The smallest program there is to launch: linked statically, it exits at once.
int main() {
    return 0;
}
