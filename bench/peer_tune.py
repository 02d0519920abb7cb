#!/usr/bin/python3
"""The grid search users would otherwise run: scikit-learn's GridSearchCV over a pipeline of
jieba segmentation (inside the vectoriser, so every fold and setting segments again, as such a
pipeline does unless the user caches it by hand), TF-IDF of words or of words and character
1-2-grams, chi2 selection (count 0: every term) and LinearSVC or LogisticRegression, with
5-fold stratified cross-validation on the training split only, one core. Prints one JSON
object: the seconds, the best setting and its mean macro F1.

usage: peer_tune.py CORPUS.tsv[.gz] STOPWORDS"""
import gzip
import json
import re
import sys
import time

import jieba
from sklearn.feature_extraction.text import TfidfVectorizer
from sklearn.feature_selection import SelectKBest, chi2
from sklearn.linear_model import LogisticRegression
from sklearn.model_selection import GridSearchCV, StratifiedKFold
from sklearn.pipeline import FeatureUnion, Pipeline
from sklearn.svm import LinearSVC

corpus_path, stopwords_path = sys.argv[1], sys.argv[2]
opener = gzip.open if corpus_path.endswith('.gz') else open
texts, labels = [], []
with opener(corpus_path, 'rt', encoding='utf-8') as corpus:
    for line in corpus:
        fields = line.rstrip('\n').split('\t')
        if len(fields) == 4 and fields[0] == 'train':
            texts.append(fields[3])
            labels.append(fields[1])
with open(stopwords_path, encoding='utf-8') as f:
    stop_words = set(f.read().split())
digits = re.compile(r'\d+')
jieba.initialize()


def words(text):
    return [w for w in (digits.sub('', x).strip() for x in jieba.cut(text, HMM=False))
            if w and w not in stop_words]


def word_terms():
    return TfidfVectorizer(analyzer=words, sublinear_tf=True)


def both_terms():
    return FeatureUnion([('words', word_terms()),
                         ('chars', TfidfVectorizer(analyzer='char', ngram_range=(1, 2),
                                                   sublinear_tf=True))])


pipeline = Pipeline([('terms', word_terms()), ('select', SelectKBest(chi2, k='all')),
                     ('model', LinearSVC())])
grid = []
for model in (LinearSVC(), LogisticRegression(max_iter=1000)):
    grid.append({'terms': [word_terms(), both_terms()], 'select__k': ['all', 10000],
                 'model': [model], 'model__C': [0.5, 1.0]})
start = time.perf_counter()
search = GridSearchCV(pipeline, grid, scoring='f1_macro', n_jobs=1,
                      cv=StratifiedKFold(n_splits=5, shuffle=True, random_state=1))
search.fit(texts, labels)
seconds = time.perf_counter() - start
best = search.best_params_
print(json.dumps({
    'seconds': seconds,
    'settings': len(search.cv_results_['params']),
    'best_mean_macro_f1': search.best_score_,
    'best': {'model': type(best['model']).__name__, 'C': best['model__C'],
             'terms': 'words+chars' if isinstance(best['terms'], FeatureUnion) else 'words',
             'count': 0 if best['select__k'] == 'all' else best['select__k']},
}))
