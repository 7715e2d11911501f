#include "ErrorState.h"

#include <gtest/gtest.h>

// The text and the flag are separate: the engine reports an edit's problem
// in its text without an error flag, and a file manager raises the flag for
// a lack of memory without a text.
TEST(ErrorState, TextAndFlagAreSetAndClearedAsTheOperationsSay)
{
    krm::ErrorState e;
    EXPECT_FALSE(e.hasError());
    EXPECT_TRUE(e.errorText().isEmpty());

    e.setText("Tempo error!");
    EXPECT_FALSE(e.hasError()) << "a text alone is no error";
    e.raiseFlag();
    EXPECT_TRUE(e.hasError());
    EXPECT_EQ(e.errorText(), "Tempo error!") << "raising the flag keeps the text";

    e.clearError();
    EXPECT_FALSE(e.hasError());
    EXPECT_TRUE(e.errorText().isEmpty());

    e.setErrorOnce("first");
    e.setErrorOnce("second");
    EXPECT_EQ(e.errorText(), "first") << "the first cause of a chain is reported";
    e.setError("replaced");
    EXPECT_EQ(e.errorText(), "replaced");
    EXPECT_TRUE(e.hasError());

    // A failure's text without the flag: the first one stays, and no lack
    // of memory is claimed.
    e.clearError();
    e.setTextOnce("Write error!");
    e.setTextOnce("Style File creation failed.");
    EXPECT_EQ(e.errorText(), "Write error!");
    EXPECT_FALSE(e.hasError());
}
