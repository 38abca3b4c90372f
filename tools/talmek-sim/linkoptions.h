#pragma once

// How replies are shaped on their way out, shared by every link.
struct LinkOptions
{
    int delayMs = 0;
    bool splitReplies = false; // serial only
    bool glue = false; // serial only
    bool hex = false;
};
