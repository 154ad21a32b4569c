// The closing arithmetic of the attacks: from counts to a p or a rate.
#include "blind/BlindAttacks.h"
#include "blind/ChiSquareSum.h"

#include <boost/math/special_functions/gamma.hpp>

#include <algorithm>
#include <cmath>

namespace vantrel {
namespace {

// Every failure of the special function becomes a value we test, never an exception.
using QuietPolicy = boost::math::policies::policy<
    boost::math::policies::domain_error<boost::math::policies::errno_on_error>,
    boost::math::policies::pole_error<boost::math::policies::errno_on_error>,
    boost::math::policies::overflow_error<boost::math::policies::errno_on_error>,
    boost::math::policies::evaluation_error<boost::math::policies::errno_on_error>>;

} // namespace

double UpperGammaQ(double a, double x) {
    const double q = boost::math::gamma_q(a, x, QuietPolicy());
    return std::isfinite(q) ? std::clamp(q, 0.0, 1.0) : 0.0;
}

ChiSquareSum ChiSquareSumOf(const Histogram& histogram, int shift) {
    ChiSquareSum sum;
    int categories = 0;
    for (int k = 2 * shift; k < 128 - shift; ++k) {
        const int low = 2 * k - shift;
        const std::uint64_t pair = histogram[low] + histogram[low + 1];
        if (pair < 10) { // expected count below 5
            continue;
        }
        const double expected = static_cast<double>(pair) / 2;
        const double difference = static_cast<double>(histogram[low]) - expected;
        sum.chi2 += difference * difference / expected;
        ++categories;
    }
    sum.degreesOfFreedom = std::max(categories - 1, 0);
    return sum;
}

double ChiSquareP(const Histogram& histogram, int* degreesOfFreedom) {
    const ChiSquareSum sum = ChiSquareSumOf(histogram);
    if (degreesOfFreedom != nullptr) {
        *degreesOfFreedom = sum.degreesOfFreedom;
    }
    return sum.degreesOfFreedom < 1 ? 0.0 : UpperGammaQ(sum.degreesOfFreedom / 2.0, sum.chi2 / 2);
}

namespace {

// A root of a x² + b x + c = 0, chosen by `pick` from the stable pair q / a and c / q, or the
// answer the degenerate cases are defined to give: −c/b (0 when b = 0 too) without a leading
// coefficient, −b/2a for a negative discriminant.
template <typename Pick> double SolveQuadratic(double a, double b, double c, Pick pick) {
    if (a == 0) {
        return b == 0 ? 0 : -c / b;
    }
    const double discriminant = b * b - 4 * a * c;
    if (discriminant < 0) {
        return -b / (2 * a);
    }
    const double q = -(b + std::copysign(std::sqrt(discriminant), b)) / 2;
    if (q == 0) {
        return 0; // b = 0 and c = 0: a double root at 0
    }
    return pick(q / a, c / q);
}

} // namespace

double RsRoot(double a, double b, double c) {
    return SolveQuadratic(a, b, c, [](double first, double second) {
        return std::abs(second) < std::abs(first) ? second : first;
    });
}

double SpaRoot(double a, double b, double c) {
    return SolveQuadratic(a, b, c,
                          [](double first, double second) { return std::min(first, second); });
}

double RsRate(const RsCounts& counts) {
    const double d0 = double(counts.regularM - counts.singularM);
    const double d1 = double(counts.flippedRegularM - counts.flippedSingularM);
    const double dn0 = double(counts.regularMinusM - counts.singularMinusM);
    const double dn1 = double(counts.flippedRegularMinusM - counts.flippedSingularMinusM);
    const double x = RsRoot(2 * (d1 + d0), dn0 - dn1 - d1 - 3 * d0, d0 - dn0);
    return x == 0.5 ? 0 : x / (x - 0.5);
}

double SpaRate(const SpaCounts& counts) {
    const double gamma = double(counts.w + counts.z);
    return SpaRoot(gamma / 2, 2 * double(counts.x) - double(counts.pairs),
                   double(counts.y) - double(counts.x));
}

} // namespace vantrel
