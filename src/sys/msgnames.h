// The message ids shared by all modules of deckhost, and their printable names.
#pragma once

// One list gives both the enumeration and the name table. MSG_AT names an id at a given
// value, MSG the id after the previous one, MSG_SETTING the change, get and confirm ids of
// one settings key, in that order.
#define ORV_MSG_NAME_LIST(MSG_AT, MSG, MSG_SETTING)                                                          \
    MSG_AT(mNone, 0)                                                                                         \
    MSG_AT(mNoteOff, 8)                                                                                      \
    MSG_AT(mNoteOn, 9)                                                                                       \
    MSG_AT(mCC, 11)                                                                                          \
    MSG_AT(mSYSEX_BEGIN, 16)                                                                                 \
    MSG(mEXTENDED_PAYLOAD_BEGIN)                                                                             \
    MSG(mBlockDevAdded)                                                                                      \
    MSG(mBlockDevRemoved)                                                                                    \
    MSG(mHerculesAdded)                                                                                      \
    MSG(mExportPlaylistCmd)                                                                                  \
    MSG(mDisplayPopupCmd)                                                                                    \
    MSG(mFlagSongAsBad)                                                                                      \
    MSG(mEXTENDED_PAYLOAD_END)                                                                               \
    MSG(mChildProcessExited)                                                                                 \
    MSG(mChildProcessKilled)                                                                                 \
    MSG(mLock)                                                                                               \
    MSG(mLockFirstDisplay)                                                                                   \
    MSG(mLockChangeDisplay)                                                                                  \
    MSG(mLoadReq)                                                                                            \
    MSG(mLoadNext)                                                                                           \
    MSG(mLoadSongOK)                                                                                         \
    MSG(mLoadConfirm)                                                                                        \
    MSG(mLoadError)                                                                                          \
    MSG(mSongLengthChanged)                                                                                  \
    MSG(mSongAudioEndSet)                                                                                    \
    MSG(mSongAnalysisSet)                                                                                    \
    MSG(mLoadCmd)                                                                                            \
    MSG(mUnloadReq)                                                                                          \
    MSG(mUnloadCmd)                                                                                          \
    MSG(mUnloadConfirm)                                                                                      \
    MSG(mUnloadSongOK)                                                                                       \
    MSG(mNearSongEnd)                                                                                        \
    MSG(mEndOfSong)                                                                                          \
    MSG(mStopPreview)                                                                                        \
    MSG(mPlayMovieReq)                                                                                       \
    MSG(mPlayMovieConfirm)                                                                                   \
    MSG(mVideoSoundReq)                                                                                      \
    MSG(mVideoSoundConfirm)                                                                                  \
    MSG(mVideoSoundRelease)                                                                                  \
    MSG(mVideoFinished)                                                                                      \
    MSG(mVideoCommand)                                                                                       \
    MSG(mDecodeCmd)                                                                                          \
    MSG(mDecodeError)                                                                                        \
    MSG(mSimulateDecodeError)                                                                                \
    MSG(mPlyBtnDwn)                                                                                          \
    MSG(mPlyBtnUp)                                                                                           \
    MSG(mCueBtnDwn)                                                                                          \
    MSG(mCueBtnUp)                                                                                           \
    MSG(mPlayCmd)                                                                                            \
    MSG(mPlayConfirm)                                                                                        \
    MSG(mPauseCmd)                                                                                           \
    MSG(mPauseConfirm)                                                                                       \
    MSG(mPlayError)                                                                                          \
    MSG(mPlayModeChange)                                                                                     \
    MSG(mSpeedAbsReq)                                                                                        \
    MSG(mSlipReq)                                                                                            \
    MSG(mXfadeCurveReq)                                                                                      \
    MSG(mAutoXfadeDropCmd)                                                                                   \
    MSG(mAutoXfadeContinuousCmd)                                                                             \
    MSG(mXfadeSyncReq)                                                                                       \
    MSG(mSpeedResetReq)                                                                                      \
    MSG(mSyncConfirm)                                                                                        \
    MSG(mBPMChange)                                                                                          \
    MSG(mBPMEdited)                                                                                          \
    MSG(mLEDChange)                                                                                          \
    MSG(mLoadLoopCmd)                                                                                        \
    MSG(mLoopConfirm)                                                                                        \
    MSG(mLoopEngageCmd)                                                                                      \
    MSG(mLoopError)                                                                                          \
    MSG(mLoadTriggerCmd)                                                                                     \
    MSG(mClearTriggerCmd)                                                                                    \
    MSG(mCreateTriggerCmd)                                                                                   \
    MSG(mTriggerConfirm)                                                                                     \
    MSG(mTriggerError)                                                                                       \
    MSG(mJumpTriggerReq)                                                                                     \
    MSG(mBeatAlign)                                                                                          \
    MSG(mBeatAlignCue)                                                                                       \
    MSG(mFxSelectConfirm)                                                                                    \
    MSG(mFxEnableConfirm)                                                                                    \
    MSG(mFxRotateNotify)                                                                                     \
    MSG(mGainAbsReq)                                                                                         \
    MSG(mUnloadStorageDev)                                                                                   \
    MSG(mRemovalNotification)                                                                                \
    MSG(mFinishDevSetup)                                                                                     \
    MSG(mRestoreFactoryDefaults)                                                                             \
    MSG(mAddRBoxEntry)                                                                                       \
    MSG(mPrependRBoxEntry)                                                                                   \
    MSG(mAddListToRbox)                                                                                      \
    MSG(mMoveRBoxEntry)                                                                                      \
    MSG(mShuffleRbox)                                                                                        \
    MSG(mDeleteRBoxEntry)                                                                                    \
    MSG(mRequestDeleteRBoxEntry)                                                                             \
    MSG(mConfirmDeleteRBoxEntry)                                                                             \
    MSG(mClearRBox)                                                                                          \
    MSG(mSaveRBox)                                                                                           \
    MSG(mDeleteAnalysis)                                                                                     \
    MSG(mDeleteDeviceDatabase)                                                                               \
    MSG(mDeleteAnalysisFiles)                                                                                \
    MSG(mUnflagBadSong)                                                                                      \
    MSG(mRequestDevRemovalREC)                                                                               \
    MSG(mConfirmDevRemovalREC)                                                                               \
    MSG(mRequestDevRemovalPLY)                                                                               \
    MSG(mConfirmDevRemovalPLY)                                                                               \
    MSG(mRequestDevRemovalBAK)                                                                               \
    MSG(mConfirmDevRemovalBAK)                                                                               \
    MSG(mRequestClearRBox)                                                                                   \
    MSG(mConfirmClearRBox)                                                                                   \
    MSG(mAllDevicesLoaded)                                                                                   \
    MSG(mDeviceStartedScanning)                                                                              \
    MSG(mChangeDJName)                                                                                       \
    MSG(mConfirmDJName)                                                                                      \
    MSG(mGetDJName)                                                                                          \
    MSG(mReplaceRBox)                                                                                        \
    MSG(mUpdateDeviceSpace)                                                                                  \
    MSG(mDemoDeviceAdded)                                                                                    \
    MSG(mBrowseGetList)                                                                                      \
    MSG(mBrowseBuffFull)                                                                                     \
    MSG_SETTING(Theme)                                                                                       \
    MSG_SETTING(AutoCue)                                                                                     \
    MSG_SETTING(AutoLoopLen)                                                                                 \
    MSG_SETTING(HeadPhoneSplit)                                                                              \
    MSG_SETTING(MicBoost)                                                                                    \
    MSG_SETTING(HPBoost)                                                                                     \
    MSG_SETTING(PitchSlider)                                                                                 \
    MSG_SETTING(KeylockA)                                                                                    \
    MSG_SETTING(KeylockB)                                                                                    \
    MSG_SETTING(XFadeTime)                                                                                   \
    MSG_SETTING(XFadeCurve)                                                                                  \
    MSG_SETTING(HamsterSwitch)                                                                               \
    MSG_SETTING(PlatterStrtSpd)                                                                              \
    MSG_SETTING(PlatterBrkSpd)                                                                               \
    MSG_SETTING(PlatterRlsSpd)                                                                               \
    MSG_SETTING(Language)                                                                                    \
    MSG_SETTING(LoadWarning)                                                                                 \
    MSG_SETTING(TimeDesc)                                                                                    \
    MSG_SETTING(JumpTo)                                                                                      \
    MSG_SETTING(TrackEndWarning)                                                                             \
    MSG_SETTING(ShutoffTime)                                                                                 \
    MSG_SETTING(HideDemos)                                                                                   \
    MSG_SETTING(ScreenBrightness)                                                                            \
    MSG_SETTING(VU)                                                                                          \
    MSG_SETTING(SoftTakeover)                                                                                \
    MSG_SETTING(MIDIChannel)                                                                                 \
    MSG_SETTING(DemoScreen)                                                                                  \
    MSG_SETTING(FirstRun)                                                                                    \
    MSG_SETTING(Analyze)                                                                                     \
    MSG_SETTING(SYNC)                                                                                        \
    MSG_SETTING(Skew)                                                                                        \
    MSG(mSettingConfirmUserSnap)                                                                             \
    MSG(mStartSongAnalysis)                                                                                  \
    MSG(mEndAnalysis)                                                                                        \
    MSG(mConfirmSongAnalysis)                                                                                \
    MSG(mRefreshWave)                                                                                        \
    MSG(mPopupResponse)                                                                                      \
    MSG(mPopupClear)                                                                                         \
    MSG(mRefreshScreenData)                                                                                  \
    MSG(mRefreshOnAnalyzed)                                                                                  \
    MSG(mRefreshData)                                                                                        \
    MSG(mReadyForPopups)                                                                                     \
    MSG(mModuleInit)                                                                                         \
    MSG(mModuleWake)                                                                                         \
    MSG(mShutdownCmd)                                                                                        \
    MSG(mShutdownReq)                                                                                        \
    MSG(mForceShutdownCmd)                                                                                   \
    MSG(mModuleDeath)                                                                                        \
    MSG(mComponentDeath)                                                                                     \
    MSG(mKeypressCmd)                                                                                        \
    MSG(mDeckUnloadTime)                                                                                     \
    MSG(mDeckPlay)                                                                                           \
    MSG(mResumeAnalysis)                                                                                     \
    MSG(mTapReset)                                                                                           \
    MSG(mNoTap)                                                                                              \
    MSG(mVinylHold)                                                                                          \
    MSG(mJogMotion)                                                                                          \
    MSG(mVUpdate)                                                                                            \
    MSG(mRecordStartSnd)                                                                                     \
    MSG(mRecordStopSnd)                                                                                      \
    MSG(mRecordBufferReady)                                                                                  \
    MSG(mRecordStartReq)                                                                                     \
    MSG(mRecordStopReq)                                                                                      \
    MSG(mRecordStopConfirm)                                                                                  \
    MSG(mRecordSpaceWarning)                                                                                 \
    MSG(mCheckRemainingTime)                                                                                 \
    MSG(mAddSessionRecord)

enum msg_name {
#define ORV_MSG_ENUM_AT(name, value) name = value,
#define ORV_MSG_ENUM_NEXT(name) name,
#define ORV_MSG_ENUM_SETTING(key)                                                                            \
    ORV_MSG_ENUM_NEXT(mSettingChange##key)                                                                   \
    ORV_MSG_ENUM_NEXT(mSettingGet##key) ORV_MSG_ENUM_NEXT(mSettingConfirm##key)
    ORV_MSG_NAME_LIST(ORV_MSG_ENUM_AT, ORV_MSG_ENUM_NEXT, ORV_MSG_ENUM_SETTING)
#undef ORV_MSG_ENUM_AT
#undef ORV_MSG_ENUM_NEXT
#undef ORV_MSG_ENUM_SETTING
    // Sizes the routing table; every id is below it.
    mMSG_NAME_COUNT
};

// Needs: any value. Returns: the identifier of a named id ("mLoadCmd"), or null for a value
// that names nothing (1 to 7, 10, 12 to 15, and everything from mMSG_NAME_COUNT on).
const char *msg_name_text(unsigned id);
