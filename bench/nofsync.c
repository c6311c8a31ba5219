/* Benchmark-only shim, loaded with LD_PRELOAD: fsync, fdatasync and syncfs return at once
   without flushing anything, so that a run with and a run without it show what the flush
   costs. The program itself always flushes; this never ships. */
int fsync(int fd)
{
    (void)fd;
    return 0;
}

int fdatasync(int fd)
{
    (void)fd;
    return 0;
}

int syncfs(int fd)
{
    (void)fd;
    return 0;
}
