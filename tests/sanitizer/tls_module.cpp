// A module loaded at run time with thread-local data of its own, as GStreamer's and Qt's plugins
// are: each thread that touches it gets a dynamic TLS block from the C library.
thread_local char block[40];

extern "C" char* touchBlock() {
    block[0] = 1;
    return block;
}
