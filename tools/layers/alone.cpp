// Linked with the whole of one of Tamrin's libraries and only the libraries below it: the link
// fails when the library calls into a layer above its own. Never run.
int main()
{
    return 0;
}
