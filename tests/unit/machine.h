/*
 * A busy, fully populated machine scripted through the fake, so that the
 * suites that walk every export exercise every path that has data to work on.
 */
#ifndef HL_TEST_MACHINE_H
#define HL_TEST_MACHINE_H

void script_machine();

#endif
