vantrel_core_test(blind_core_tests blind/BlindAttacksTest.cpp ../bench/blind/NaiveBlind.cpp)
