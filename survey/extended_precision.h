// Long double arithmetic at its full significand on every thread.
#pragma once

namespace qm {

// Holds the x87 unit at its 64-bit significand while in scope, and gives back what it found. A
// thread made by the Windows API starts the unit at 53 bits (the program's first thread, and the C
// runtime's own threads, at 64), which would round every extended-precision step as a double: the
// same fix would read differently on a worker thread than in the readout. Where long double is no
// x87 type, or the compiler is not GCC or Clang, there is nothing to hold.
class ExtendedPrecision {
public:
#if (defined(__GNUC__) || defined(__clang__)) && (defined(__i386__) || defined(__x86_64__))
    ExtendedPrecision()
    {
        __asm__ volatile("fnstcw %0" : "=m"(saved_));
        const unsigned short wanted = saved_ | kPrecisionBits;
        if (wanted != saved_)
            __asm__ volatile("fldcw %0" : : "m"(wanted));
    }
    ~ExtendedPrecision()
    {
        if ((saved_ & kPrecisionBits) != kPrecisionBits)
            __asm__ volatile("fldcw %0" : : "m"(saved_));
    }

    // For tests: sets this thread's unit to the 53 bits a thread made by the Windows API starts
    // with. False where there is no such unit to set.
    static bool StartAsAWindowsThread()
    {
        unsigned short control = 0;
        __asm__ volatile("fnstcw %0" : "=m"(control));
        control = static_cast<unsigned short>((control & ~kPrecisionBits) | 0x200);
        __asm__ volatile("fldcw %0" : : "m"(control));
        return true;
    }

private:
    static constexpr unsigned short kPrecisionBits = 0x300; // precision control: 11 is 64 bits
    unsigned short saved_ = 0;
#else
    ExtendedPrecision() = default;
    static bool StartAsAWindowsThread() { return false; }
#endif

public:
    ExtendedPrecision(const ExtendedPrecision&) = delete;
    ExtendedPrecision& operator=(const ExtendedPrecision&) = delete;
};

} // namespace qm
