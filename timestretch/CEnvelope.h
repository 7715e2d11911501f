#pragma once
// A time-varying parameter of the time-scale engine.
//
// An envelope is either a breakpoint list over normalised time 0 .. 1 (a
// value that changes along the input) or a short array of values indexed by
// position (one value per band). It keeps its own limits and default, clamps
// every value set into them and answers the value at any time, stepped or
// linearly interpolated.
//
// Lifecycle: construct (empty, undefined: reads give 0.0, writes are
// ignored), `Define` once per use, then any number of `SetValueAt` and
// `ValueAt`. A defined breakpoint list always holds at least two breakpoints,
// the first at time 0.0 and the last at time 1.0.
//
// Allocation failures throw the integer -1 (see StretchAlloc.h); the envelope
// is left empty but valid.
#include <cstddef>
#include <cstdint>
#include <vector>

class CEnvelope {
public:
    enum Kind : uint8_t { Undefined = 0, Array = 2, Breakpoints = 3 };
    enum ValueType : uint8_t { Real = 1, Integer = 2 };
    enum Interpolation : uint8_t { Linear = 1, Step = 2 };

    // The time that stands for the whole envelope in `SetValueAt`.
    static constexpr double kWholeEnvelope = 123456.0;
    // Capacities grow in multiples of this many entries.
    static constexpr int32_t kGrowthStep = 25;

    struct Breakpoint {
        double time;  // normalised, 0 .. 1, rising along the list
        float value;
    };

    CEnvelope() = default;
    virtual ~CEnvelope() = default;
    CEnvelope(const CEnvelope&) = delete;
    CEnvelope& operator=(const CEnvelope&) = delete;

    // Empties the envelope (storage kept) and defines it afresh.
    // kind: 2 array of values, 3 breakpoint list. valueType: 1 real,
    // 2 integer (values set are truncated toward zero), anything else makes
    // every value set 0.0. interpolation (breakpoints): 1 linear, 2 step.
    // maximum becomes max(minimum, maximum); a default outside the limits
    // becomes the maximum. count: the array's length (at least 1), or the
    // number of breakpoints (at least 2). With evenSpacing the breakpoints
    // lie at times i / (count - 1), all holding the default; without it a
    // list of more than two breakpoints is laid out the same way (times
    // rising, values the default), so the list is always well formed.
    // noRampToMinimum (linear breakpoints): no interpolation into or out of a
    // breakpoint at or below the minimum. Always returns 0.
    virtual int Define(int8_t kind, uint8_t valueType, uint8_t interpolation, float minimum, float maximum,
                       float defaultValue, int32_t count, uint32_t evenSpacing, uint32_t noRampToMinimum);

    // Makes `target` a copy of this envelope (definition and content).
    // Copying an envelope onto itself changes nothing. Returns 0.
    int CopyTo(CEnvelope& target) const;

    // Empties the values or breakpoints; frees their storage unless
    // keepStorage is non-zero. The definition stays. Returns 0.
    int Clear(int32_t keepStorage);

    // Back to the default content: an array keeps its length with every
    // value the default; a breakpoint list gets two breakpoints (0.0 and 1.0)
    // holding the default (rounded to the nearest integer for integer
    // values). Returns 0.
    int Reset();

    // Sets the value at a time. The value is clamped to the limits (a NaN
    // passes through, so that callers can detect it) and converted by the
    // value type.
    // Array: the time is an index, rounded to the nearest; 123456.0 sets
    // every value; an index past the end grows the array, the values between
    // the old end and the index being 0.0. A NaN or negative index writes
    // value 0; an index that does not fit 32 bits is ignored.
    // Breakpoints: 123456.0 resets the list to two breakpoints holding the
    // value; t <= 0 sets the first breakpoint, t >= 1 the last; a time equal
    // to an existing breakpoint's time changes its value; any other time
    // inserts a breakpoint in time order.
    // An envelope that was never defined ignores the call. Returns 0.
    int SetValueAt(double time, float value);

    // The value at a time: 0.0 for an empty envelope.
    // Array: the value at the index nearest the time; the first value for
    // t <= 0; the last value up to half an index past the end, the default
    // beyond.
    // Breakpoints: the first value for t <= 0 (and a NaN time), the last for
    // t >= 1; in between stepped (the earlier breakpoint's value) or linear.
    float ValueAt(double time) const;

    // How a parameter set reads a time given for a breakpoint envelope by its
    // time mode: 1 time ignored (0.0), 2 seconds (divided by the duration
    // when that is positive), anything else normalised time as given. The
    // whole-envelope time is kept.
    static double TranslateTime(uint8_t timeMode, double duration, double time);

    // Read access to the definition and the content.
    uint8_t KindOf() const { return m_kind; }
    uint8_t ValueTypeOf() const { return m_valueType; }
    uint8_t InterpolationOf() const { return m_interpolation; }
    float Minimum() const { return m_minimum; }
    float Maximum() const { return m_maximum; }
    float Default() const { return m_default; }
    int32_t Untouched() const { return m_untouched; }
    uint32_t EvenSpacing() const { return m_evenSpacing; }
    uint32_t NoRampToMinimum() const { return m_noRampToMinimum; }
    int32_t BreakpointCount() const { return m_pointCount; }
    int32_t BreakpointCapacity() const { return m_pointCapacity; }
    const Breakpoint& PointAt(int32_t i) const { return m_points[static_cast<size_t>(i)]; }
    int32_t ArrayCount() const { return m_arrayCount; }
    int32_t ArrayCapacity() const { return m_arrayCapacity; }
    float ArrayValue(int32_t i) const { return m_values[static_cast<size_t>(i)]; }

private:
    bool IsArray() const { return m_kind == Array; }
    float Converted(float value) const;
    void ResizeArrayStorage(int32_t capacity);
    void ResizePointStorage(int32_t capacity);
    // Index of the first breakpoint whose time is greater than t (0 < t < 1),
    // or m_pointCount when there is none.
    int32_t FirstPointAfter(double t) const;
    int SetArrayValueAt(double time, float value);
    int SetPointValueAt(double time, float value);

    uint8_t m_kind = Undefined;
    uint8_t m_valueType = 0;
    uint8_t m_interpolation = 0;
    float m_minimum = 0.0f;
    float m_default = 0.0f;
    float m_maximum = 0.0f;
    int32_t m_untouched = 0;
    uint32_t m_noRampToMinimum = 0;
    uint32_t m_evenSpacing = 0;
    int32_t m_pointCount = 0;
    int32_t m_pointCapacity = 0;
    std::vector<Breakpoint> m_points;  // m_pointCapacity entries
    int32_t m_arrayCapacity = 0;
    int32_t m_arrayCount = 0;
    std::vector<float> m_values;  // m_arrayCapacity entries
};
