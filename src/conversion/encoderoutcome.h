#pragma once

// How one run of the encoder over one clip ended.
struct EncoderOutcome
{
    enum class End {
        Succeeded,       // started and exited normally with code 0
        ExitedWithError, // exited normally with another code
        Crashed,
        CouldNotStart,
        Stopped, // the program was closing; the file is not trusted whatever the code
    };

    End end = End::CouldNotStart;
    int exitCode = 0;

    bool converted() const { return end == End::Succeeded; }
};
