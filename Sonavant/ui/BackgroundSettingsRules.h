#pragma once
// The rules of the "Background" settings page: the rotation field and its commit, the
// scale and offset fields with their steppers, and the chosen file's stored form.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

struct BackgroundSettingsRules {
    // ---- Rotation --------------------------------------------------------------------------
    static constexpr double minimumRotation = -180;
    static constexpr double maximumRotation = 180;
    // The rotation truncated to whole degrees: 45.9 reads "45".
    static std::string rotationText(double rotation);
    // The slider's position: whole degrees within the slider's range.
    static int rotationSliderPosition(double rotation);
    // Return in the field: a whole decimal number (optional sign, digits only) is clamped
    // and stored; anything else stores nothing. Either way the field shows `text` after.
    struct RotationCommit {
        std::optional<double> rotation; // to store
        std::string text;               // the field's text afterwards
    };
    static RotationCommit commitRotation(const std::string& input, double currentRotation);

    // ---- Scale -------------------------------------------------------------------------------
    static constexpr double minimumScale = 0.001;
    static constexpr double scaleStep = 0.1;
    // Always two decimals, a point as separator: "1.00".
    static std::string scaleText(double scale);
    // A typed scale: a decimal number above zero. Zero would draw nothing and a negative
    // scale a mirrored plan, and a value that is not finite cannot be drawn or saved: all
    // are refused and the field shows the current scale again.
    static std::optional<double> parseScale(const std::string& input);
    static double steppedScale(double scale, int steps);
    static bool canStepScale(double scale, int steps);

    // ---- Offsets -------------------------------------------------------------------------------
    // Whole numbers, as the field's number format shows them (halves to even).
    static std::string offsetText(double offset);
    // A typed offset: any finite decimal number.
    static std::optional<double> parseOffset(const std::string& input);
    static double steppedOffset(double offset, int steps);

    // ---- The image file -------------------------------------------------------------------------
    static const std::vector<std::string>& imageExtensions(); // "png", "jpg", "jpeg", "tiff", "bmp"
    // The stored form of a chosen file: its absolute "file://" URL, percent-encoded.
    static std::string imageURL(const std::filesystem::path& chosenFile);
    // The file a stored URL names, for the preview; none for other URLs.
    static std::optional<std::filesystem::path> imagePath(const std::string& storedURL);
};
